// Prints how long the page body translation takes per megabyte for long
// single lines of adversarial markup, at 10 KB, 100 KB and 1 MB, beside plain
// text, and for deeply nested lists and tables. A cost that grows with the
// square of the line shows as a time per megabyte that grows tenfold from one
// size to the next: the exit status is 1 when, from the last size but one to
// the last, the time per megabyte (or per level of nesting) of any input
// grows more than kGrowthFloor times.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "io/output_file.h"
#include "io/page_output.h"
#include "io/wiki_in_stream.h"
#include "markup/markup.h"

using namespace tarvo;

namespace {

std::string repeatTo(std::string_view unit, std::size_t size) {
    std::string s;
    s.reserve(size + unit.size());
    while (s.size() < size) s.append(unit);
    s.resize(size);
    return s;
}

// Seconds for one conversion of the body in path into a page file, as the
// program writes it (best of several runs).
double timeBody(const std::string& path, int runs) {
    double best = 1e9;
    const std::string page = path + ".html";
    for (int r = 0; r < runs; ++r) {
        unlink(page.c_str());
        MarkupContext ctx{MarkupOptions()};
        WikiInStream in;
        in.open(WString(path.begin(), path.end()));
        auto t0 = std::chrono::steady_clock::now();
        WrittenFiles written;
        OutputFile file;
        file.open(platform::currentFolder(), WString(page.begin(), page.end()), ProtectedFiles(), written, {true, {}, {}});
        PageOutput out(file);
        struct : PageEvents {
            void diagramClosed(std::string_view, std::string_view) override {}
        } dropped;
        convertBody(ctx, in, out, dropped);
        out.flush();
        file.finish();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    unlink(page.c_str());
    return best;
}

struct Case {
    const char* name;
    std::function<std::string(std::size_t)> make;
};

// A cost linear in the size keeps its time per byte (about 1x from one size
// to the next, ten times larger); a quadratic one grows tenfold.
constexpr double kGrowthFloor = 4.0;

// Prints the growth of the time per unit from the last size but one to the
// last, with its floor; false when it is over.
bool growthWithin(const std::vector<double>& perUnit) {
    const double growth = perUnit[perUnit.size() - 1] / perUnit[perUnit.size() - 2];
    const bool within = growth <= kGrowthFloor;
    std::printf("%26s growth x%.2f (floor x%.1f)%s\n", "", growth, kGrowthFloor, within ? "" : "  OVER");
    return within;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    char dir[] = "/tmp/tarvo-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string path = std::string(dir) + "/page.wiki";
    auto write = [&](const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
        return text.size();
    };

    const std::vector<Case> lines = {
        {"plain text", [](std::size_t n) { return repeatTo("plain words of text ", n); }},
        {"\"<\" runs", [](std::size_t n) { return repeatTo("<", n); }},
        {"\"''\" runs", [](std::size_t n) { return repeatTo("''", n); }},
        {"\"<!--\" without end", [](std::size_t n) { return repeatTo("<!--", n); }},
        {"\"<nowiki>\" spans", [](std::size_t n) { return repeatTo("<nowiki>a''b</nowiki> ", n); }},
        {"\"||\" cells", [](std::size_t n) { return "{|\n|" + repeatTo(" a ||", n) + "\n|}"; }},
        {"\"!!\" header cells", [](std::size_t n) { return "{|\n!" + repeatTo(" a !!", n) + "|\n|}"; }},
        {"\"[[\" without \"]]\"", [](std::size_t n) { return repeatTo("[[a ", n); }},
        {"\"[[x]]\" links", [](std::size_t n) { return repeatTo("[[x]] ", n); }},
        {"bare URLs", [](std::size_t n) { return repeatTo("http://example.org/a ", n); }},
        {"\"[http\" without \"]\"", [](std::size_t n) { return repeatTo("[http://a b ", n); }},
        {"\"<graphviz\" without \">\"", [](std::size_t n) { return repeatTo("<graphviz ", n); }},
    };
    std::vector<std::size_t> sizes = {10 * 1024, 100 * 1024, 1024 * 1024};
    if (quick) sizes.pop_back();

    std::printf("%-26s %10s %12s %12s\n", "input (one line)", "size", "ms/MB", "vs plain");
    std::vector<double> plain(sizes.size(), 0);
    bool within = true;
    for (const Case& c : lines) {
        std::vector<double> perMb;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            std::size_t bytes = write(c.make(sizes[i]));
            int runs = sizes[i] >= 1024 * 1024 ? 5 : 20;
            perMb.push_back(timeBody(path, runs) * 1e3 / (bytes / 1048576.0));
            if (&c == &lines[0]) plain[i] = perMb[i];
            std::printf("%-26s %9zuK %12.2f %11.2fx\n", c.name, bytes / 1024, perMb[i], perMb[i] / plain[i]);
        }
        within = growthWithin(perMb) && within;
    }

    std::printf("\n%-26s %10s %12s\n", "nested structure", "size", "ms");
    const std::vector<std::pair<const char*, std::function<std::string(std::size_t)>>> nests = {
        {"list levels", [](std::size_t n) { return std::string(n, '*') + " x\n" + std::string(n, '#') + " y\n"; }},
        {"nested tables", [](std::size_t n) {
             std::string s;
             for (std::size_t i = 0; i < n; ++i) s += "{|\n| x\n";
             return s;
         }},
    };
    for (const auto& [name, make] : nests) {
        std::vector<double> perLevel;
        for (std::size_t n : {10000u, 100000u}) {
            std::size_t bytes = write(make(n));
            double ms = timeBody(path, 3) * 1e3;
            perLevel.push_back(ms / static_cast<double>(n));
            std::printf("%-20s %6zu %9zuK %12.2f\n", name, n, bytes / 1024, ms);
        }
        within = growthWithin(perLevel) && within;
    }
    unlink(path.c_str());
    rmdir(dir);
    return within ? 0 : 1;
}
