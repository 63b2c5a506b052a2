// What the unit tests share: scratch directories, whole-file reads and writes,
// and the markup translator run on page text (the body through a real source
// file and WikiInStream, single texts through formatInline). Portable.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "cli/run_context.h"
#include "io/page_output.h"
#include "io/wiki_in_stream.h"
#include "markup/markup.h"
#include "platform/platform.h"

namespace tarvo::test {

namespace fs = std::filesystem;

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string repeat(std::string_view piece, std::size_t times) {
    std::string all;
    for (std::size_t i = 0; i < times; ++i) all += piece;
    return all;
}

// A new directory under the system's temporary directory, removed with all it
// holds at scope end.
class TempDir {
public:
    TempDir() {
        std::random_device random;
        fs::path path;
        do path = fs::temp_directory_path() / ("tarvo-test-" + std::to_string(random()) + std::to_string(random()));
        while (!fs::create_directory(path));
        name = path.string();
        dir = name + "/";
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(name, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string name, dir;  // the directory, and the same with a trailing "/"
};

// The body convertBody writes for the page text (through a source file), with
// the given run state or a fresh one.
inline std::string body(RunContext& ctx, std::string_view source) {
    TempDir tmp;
    writeFile(tmp.dir + "page.txt", source);
    WikiInStream in;
    in.open(widen(tmp.dir + "page.txt"));
    EXPECT_TRUE(in.isOpen());
    PageOutput out;
    convertBody(ctx.page.markup, in, out);
    return out.text();
}
inline std::string body(std::string_view source) {
    RunContext ctx;
    return body(ctx, source);
}

// formatInline on one text, with the given run state or a fresh one.
inline std::string inlineText(RunContext& ctx, std::string text) {
    PageOutput out;
    formatInline(ctx.page.markup, out, text);
    return text;
}
inline std::string inlineText(std::string text) {
    RunContext ctx;
    return inlineText(ctx, std::move(text));
}

// A fresh run context whose work directory (where DOT files go) is a new empty
// directory.
class WorkDirTest : public ::testing::Test {
protected:
    WorkDirTest() : work(tmp.dir + "work/") {
        fs::create_directory(work);
        ctx.options.workDir = widen(work);
    }

    // The body for the page text; what went to standard output into *console.
    std::string convert(std::string_view source, std::string* console = nullptr) {
        if (console) ::testing::internal::CaptureStdout();
        std::string page = body(ctx, source);
        if (console) *console = ::testing::internal::GetCapturedStdout();
        return page;
    }
    std::string dot(const std::string& name) const { return readFile(work + name + ".dot"); }
    // Every entry of the work directory and its sub-directories.
    std::set<std::string> workEntries() const {
        std::set<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(work))
            names.insert(fs::relative(e.path(), work).generic_string());
        return names;
    }

    TempDir tmp;
    std::string work;  // with a trailing "/"
    RunContext ctx;
};

}  // namespace tarvo::test
