#include "io/page_file.h"

#include <chrono>

#include "test_support.h"

namespace tarvo::test {
namespace {

class PageFileTest : public ::testing::Test {
protected:
    // Stores the text with an old time, so that a renewed one shows.
    void store(const std::string& text) {
        writeFile(path, text);
        fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(24 * 365));
    }
    // Writes the page in pieces, as the page output does.
    PageFile::Result produce(const std::string& text) {
        PageFile file;
        EXPECT_TRUE(file.open(widen(path)));
        for (std::size_t at = 0; at < text.size(); at += 7) EXPECT_TRUE(file.write(text.substr(at, 7)));
        return file.finish();
    }
    platform::FileIdentity identity() const { return platform::identify(widen(path)); }
    // Only the page: no temporary left.
    bool alone() const { return std::distance(fs::directory_iterator(tmp.dir), {}) == 1; }

    TempDir tmp;
    const std::string path = tmp.dir + "p.html";
};

TEST_F(PageFileTest, AnUnchangedPageKeepsItsFileAndGetsANewTime) {
    const std::string page = "<p>same</p>\nline two\n";
    store(page);
    const platform::FileIdentity before = identity();
    const fs::file_time_type oldTime = fs::last_write_time(path);
    EXPECT_EQ(produce(page), PageFile::Result::Ok);
    EXPECT_TRUE(identity() == before);
    EXPECT_GT(fs::last_write_time(path), oldTime);
    EXPECT_EQ(readFile(path), page);
    EXPECT_TRUE(alone());
}

TEST_F(PageFileTest, AChangedPageIsReplacedWhole) {
    const std::string page = "<p>new text</p>\nsecond line\n";
    // Differs late, shorter, longer, empty.
    for (const std::string& old : {std::string("<p>new text</p>\nsecond LINE\n"), std::string("<p>new text</p>\n"),
                                   page + "more\n", std::string()}) {
        store(old);
        const platform::FileIdentity before = identity();
        EXPECT_EQ(produce(page), PageFile::Result::Ok);
        EXPECT_EQ(readFile(path), page) << "stored before: " << old;
        EXPECT_FALSE(identity() == before);
        EXPECT_TRUE(alone());
    }
    fs::remove(path);
    EXPECT_EQ(produce(page), PageFile::Result::Ok);  // no page yet
    EXPECT_EQ(readFile(path), page);
}

TEST_F(PageFileTest, AFailedConversionLeavesTheStoredPage) {
    store("<p>old</p>\n");
    {
        PageFile file;
        ASSERT_TRUE(file.open(widen(path)));
        EXPECT_TRUE(file.write("<p>different and longer</p>\n"));
        // Dropped without finish(): the conversion failed.
    }
    EXPECT_EQ(readFile(path), "<p>old</p>\n");
    EXPECT_TRUE(alone());
}

}  // namespace
}  // namespace tarvo::test
