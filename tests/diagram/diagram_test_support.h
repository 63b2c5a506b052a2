// A fresh run context per test whose work directory is a new temporary
// directory, and helpers to convert page bodies and look at the DOT files.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <fcntl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "cli/run_context.h"
#include "markup/markup.h"
#include "page/page_output.h"
#include "page/wiki_in_stream.h"
#include "platform/platform.h"

namespace tarvo::testing_support {

namespace fs = std::filesystem;

class DiagramTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-diagram-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        work = root_ + "/work/";
        fs::create_directory(work);
        ctx.options.workDir = widen(work);
    }
    void TearDown() override { fs::remove_all(root_); }

    // Converts one page body (its own source file) with the test's context.
    std::string convert(std::string_view body) {
        writeSource(body);
        return convertSource();
    }
    void writeSource(std::string_view body) { writeFile(root_ + "/page.txt", body); }
    std::string convertSource() {
        WikiInStream in;
        in.open(widen(root_ + "/page.txt"));
        PageOutput out;
        convertBody(ctx, in, out);
        return out.text();
    }
    // The same, also returning what went to standard output.
    std::string convert(std::string_view body, std::string& console) {
        writeSource(body);
        ::testing::internal::CaptureStdout();
        std::string page = convertSource();
        console = ::testing::internal::GetCapturedStdout();
        return page;
    }

    static void writeFile(const std::string& path, std::string_view bytes) {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    static std::string readFile(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        std::ostringstream s;
        s << f.rdbuf();
        return s.str();
    }
    std::string dot(const std::string& name) const { return readFile(work + name + ".dot"); }
    bool exists(const std::string& name) const { return fs::exists(work + name + ".dot"); }

    // Gives a file an old modification time, so that a rewrite shows.
    static void makeOld(const std::string& path) {
        struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
    }
    // True when the file still has the time makeOld gave it.
    static bool untouched(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 && st.st_mtim.tv_sec == 1000000000;
    }

    // Every entry of the work directory (and its sub-directories).
    std::set<std::string> workEntries() const {
        std::set<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(work))
            names.insert(fs::relative(e.path(), work).string());
        return names;
    }

    RunContext ctx;
    std::string work;  // the work directory, with a trailing "/"
    const std::string& root() const { return root_; }

private:
    std::string root_;
};

}  // namespace tarvo::testing_support
