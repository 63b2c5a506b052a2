#include "page/page_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace tarvo {
namespace {

namespace fs = std::filesystem;

class PageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = ::testing::TempDir() + "tarvo-pagefile-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        path = dir + "/p.html";
    }
    void TearDown() override { fs::remove_all(dir); }

    void store(const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
        // An old time, so that a renewed one shows.
        struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    std::string stored() {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    struct stat info() {
        struct stat st {};
        stat(path.c_str(), &st);
        return st;
    }
    // Writes the page in pieces, as the page output does.
    PageFile::Result produce(const std::string& text, std::size_t piece = 7) {
        PageFile file;
        EXPECT_TRUE(file.open(widen(path)));
        for (std::size_t at = 0; at < text.size(); at += piece) EXPECT_TRUE(file.write(text.substr(at, piece)));
        return file.finish();
    }
    std::size_t entries() { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})); }

    std::string dir, path;
};

TEST_F(PageFileTest, AnUnchangedPageKeepsItsFileAndGetsANewTime) {
    const std::string page = "<p>same</p>\nline two\n";
    store(page);
    const struct stat before = info();
    EXPECT_EQ(produce(page), PageFile::Result::Ok);
    const struct stat after = info();
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_GT(after.st_mtime, before.st_mtime);
    EXPECT_EQ(stored(), page);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(PageFileTest, AChangedPageIsReplacedWhole) {
    const std::string page = "<p>new text</p>\nsecond line\n";
    for (const std::string& old : std::vector<std::string>{"<p>new text</p>\nsecond LINE\n",  // differs late
                                  "<p>new text</p>\n",                // shorter
                                  page + "more\n",                    // longer
                                  std::string()}) {                   // empty
        store(old);
        const ino_t oldInode = info().st_ino;
        EXPECT_EQ(produce(page), PageFile::Result::Ok);
        EXPECT_EQ(stored(), page) << "stored before: " << old;
        EXPECT_NE(info().st_ino, oldInode);
        EXPECT_EQ(entries(), 1u);  // no temporary left
    }
    fs::remove(path);
    EXPECT_EQ(produce(page), PageFile::Result::Ok);  // no page yet
    EXPECT_EQ(stored(), page);
}

TEST_F(PageFileTest, AFailedConversionLeavesTheStoredPage) {
    store("<p>old</p>\n");
    {
        PageFile file;
        ASSERT_TRUE(file.open(widen(path)));
        EXPECT_TRUE(file.write("<p>different and longer</p>\n"));
        // Dropped without finish(): the conversion failed.
    }
    EXPECT_EQ(stored(), "<p>old</p>\n");
    EXPECT_EQ(entries(), 1u);
}

}  // namespace
}  // namespace tarvo
