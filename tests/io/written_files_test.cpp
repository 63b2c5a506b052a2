#include "io/written_files.h"

#include "test_support.h"

namespace tarvo::test {
namespace {

TEST(WrittenFiles, PlacesAreKeptOnlyForNamesNoFileSystemReadsAsAnother) {
    const platform::FileIdentity folder{1, 2, true}, other{1, 3, true};
    const std::uint64_t page = WrittenFiles::placeOf(folder, u"Intro-1_a.html");
    EXPECT_EQ(page, WrittenFiles::placeOf(folder, u"intro-1_A.HTML"));
    EXPECT_NE(page, WrittenFiles::placeOf(other, u"Intro-1_a.html"));
    for (const char16_t* name : {u"a b.html", u"a.html.", u"caf\u00e9.html", u"A~1.HTM", u"a.html:x", u""})
        EXPECT_EQ(WrittenFiles::placeOf(folder, name), 0u) << "a name the place of which is not known";
    EXPECT_EQ(WrittenFiles::placeOf({}, u"a.html"), 0u);
}

// A file of the run as a status shows it.
platform::FileStatus regular(std::uint64_t device, std::uint64_t inode, std::int64_t changeTime = 0) {
    return {platform::FileKind::Regular, {device, inode, true}, 0, changeTime};
}

// Many files and places, added as a big run adds them: each is found again
// (the later entry of a file added twice), and nothing else is.
TEST(WrittenFiles, FindsEveryFileAndPlaceItWasToldOf) {
    WrittenFiles written;
    constexpr std::uint64_t kCount = 20000;
    for (std::uint64_t i = 1; i <= kCount; ++i) {
        WString source = u"s";
        source.append(i % 7, u'x');
        written.add({i % 3, i * 4099, true}, 0, {true, source, {}}, i * 0x9E3779B97F4A7C15ull);
    }
    written.add({1, 4099, true}, 0, {false, {}, "digraph {}"}, 0);
    WrittenFiles::Entry entry;
    for (std::uint64_t i = 1; i <= kCount; ++i) {
        ASSERT_TRUE(written.find(regular(i % 3, i * 4099), entry)) << i;
        if (i > 1) {
            EXPECT_EQ(entry.source.size(), 1 + i % 7) << i;
        }
        ASSERT_TRUE(written.wrotePlace(i * 0x9E3779B97F4A7C15ull)) << i;
        EXPECT_FALSE(written.holds(regular(i % 3 + 3, i * 4099))) << i;
        EXPECT_FALSE(written.wrotePlace(i * 0x9E3779B97F4A7C15ull + 1)) << i;
    }
    ASSERT_TRUE(written.find(regular(1, 4099), entry));
    EXPECT_FALSE(entry.page);
    EXPECT_EQ(entry.content, "digraph {}");
    EXPECT_FALSE(written.holds({}));
    EXPECT_EQ(written.unplacedWrites(), 1u);
}

// A file made in the place of one the run wrote, which took its identity (a
// reused inode), changed at another time: it is not the run's. Where the
// system tells no change time, the identity alone decides.
TEST(WrittenFiles, AReusedIdentityIsAnotherFile) {
    WrittenFiles written;
    written.add({1, 7, true}, 1000, {false, {}, "digraph {}"}, 0);
    written.add({1, 8, true}, 0, {true, u"a.wiki", {}}, 0);
    WrittenFiles::Entry entry;
    EXPECT_TRUE(written.find(regular(1, 7, 1000), entry));
    EXPECT_FALSE(written.find(regular(1, 7, 2000), entry));
    EXPECT_FALSE(written.holds(regular(1, 7, 2000)));
    EXPECT_TRUE(written.wroteIdentity({1, 7, true}));
    EXPECT_TRUE(written.holds(regular(1, 7)));
    EXPECT_TRUE(written.holds(regular(1, 8, 2000)));
}

}  // namespace
}  // namespace tarvo::test
