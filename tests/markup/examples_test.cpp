// Runs the markup examples: each *.txt file beside this one holds examples of
// wiki text and what the translation makes of it (the format is in README.md).
// Every example goes through convertBody, as the body of a page, and hands its
// diagrams to a sink that keeps them; a failure names the file and line of the
// example.
#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "io/wiki_in_stream.h"
#include "markup/markup.h"
#include "test_support.h"

namespace tarvo::test {
namespace {

const fs::path kFolder = fs::path(__FILE__).parent_path();
const std::string kFence(32, '`');

// Undoes the markers: "→" a tab, "␠" a blank, "␍" a CR, "↵" a line end,
// "⟨xx⟩" the byte xx, "⟦N×text⟧" the text N times.
std::string unmark(std::string line) {
    for (auto [mark, byte] : {std::pair{"→", '\t'}, {"␠", ' '}, {"␍", '\r'}, {"↵", '\n'}})
        for (std::size_t at; (at = line.find(mark)) != std::string::npos;) line.replace(at, 3, 1, byte);
    for (std::size_t at; (at = line.find("⟨")) != std::string::npos;)
        line.replace(at, 8, 1, static_cast<char>(std::stoi(line.substr(at + 3, 2), nullptr, 16)));
    for (std::size_t at; (at = line.find("⟦")) != std::string::npos;) {
        std::size_t digits = 0, end = line.find("⟧", at);
        const std::size_t times = std::stoul(line.substr(at + 3, end - at), &digits), from = at + 3 + digits + 2;
        std::string piece = line.substr(from, end - from), all;
        while (all.size() < times * piece.size()) all += piece;
        line.replace(at, end + 3 - at, all);
    }
    return line;
}

// The lines as one text, each with a line end but a last one that ends in "∎".
std::string text(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += unmark(line) + "\n";
    return all.ends_with("∎\n") ? all.substr(0, all.size() - 4) : all;
}

// The DOT files a page would store: name.dot and the text with one more line
// end, as the page layer writes them; and what the page hears for its table
// of contents, one line each, as the file "(contents)".
struct DotFiles final : PageEvents {
    std::map<std::string, std::string> files;
    void diagramClosed(std::string_view name, std::string_view text) override {
        files[std::string(name) + ".dot"] = std::string(text) + "\n";
    }
    void heading(int level, std::string_view id, std::string_view text) override {
        files["(contents)"] += "h" + std::to_string(level) + " #" + std::string(id) + " " + std::string(text) + "\n";
    }
    void contentsWord(ContentsWord word) override {
        files["(contents)"] += word == ContentsWord::Here ? "TOC\n" : word == ContentsWord::Never ? "NOTOC\n" : "FORCETOC\n";
    }
};

struct Example {
    std::vector<std::string> words, source, body;
    std::map<std::string, std::vector<std::string>> dotFiles;
};

// One run of examples: the options, the state kept from page to page, a
// scratch folder for the page source.
struct Run {
    MarkupOptions options;
    std::unique_ptr<MarkupContext> ctx;
    TempDir tmp;

    void check(const Example& ex) {
        const bool fresh = !ctx || std::ranges::find(ex.words, "continue") == ex.words.end();
        if (fresh) options = {};
        for (const std::string& word : ex.words) {
            if (word.starts_with("file=")) options.filePrefix = word.substr(5);
            else if (word.starts_with("gen=")) options.genPrefix = word.substr(4);
            else if (word == "safe") options.safe = true;
            else if (word == "ids") options.headingIds = true;
            else if (word == "toc") options.headingIds = options.contents = true;
            else EXPECT_EQ(word, "continue") << "an unknown word";
        }
        if (fresh) ctx = std::make_unique<MarkupContext>(options);
        ctx->inlines.options = options;
        writeFile(tmp.dir + "page.txt", text(ex.source));
        WikiInStream in;
        in.open(widen(tmp.dir + "page.txt"));
        DotFiles dots;
        PageOutput out;
        convertBody(*ctx, in, out, dots);
        const std::string expected = text(ex.body), &actual = out.text();
        EXPECT_TRUE(expected == actual) << (expected.size() < 100000 ? "expected:\n" + expected + "actual:\n" + actual
                                                                     : "the long output differs");
        std::map<std::string, std::string> expectedFiles;
        for (const auto& [name, lines] : ex.dotFiles) expectedFiles[name] = text(lines);
        EXPECT_EQ(expectedFiles, dots.files);
    }
};

void runFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    Run run;
    Example ex;
    std::vector<std::string>* part = nullptr;  // inside an example: the part being read
    std::string line;
    for (int n = 1, start = 0; std::getline(in, line); ++n) {
        if (!part && line.starts_with(kFence + " example")) {
            std::istringstream words(line.substr(kFence.size() + 8));
            ex = {{std::istream_iterator<std::string>(words), {}}, {}, {}, {}};
            part = &ex.source;
            start = n;
            continue;
        }
        if (!part) continue;
        if (line == kFence) {
            ::testing::ScopedTrace trace(name.c_str(), start, "example");
            run.check(ex);
            part = nullptr;
        } else if (part == &ex.source && line == ".") part = &ex.body;
        else if (part != &ex.source && line.starts_with("--- ")) part = &ex.dotFiles[unmark(line.substr(4))];
        else part->push_back(line);
    }
    EXPECT_EQ(part, nullptr) << name << " ends inside an example";
}

TEST(MarkupExamples, EveryFile) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(kFolder))
        if (entry.path().extension() == ".txt") runFile(entry.path().string()), ++files;
    EXPECT_GT(files, 0) << "no examples in " << kFolder.string();
}

}  // namespace
}  // namespace tarvo::test
