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

}  // namespace
}  // namespace tarvo::test
