#include "io/output_file.h"

#include "test_support.h"

namespace tarvo::test {
namespace {

// A page opened for writing learns afterwards whether a page before it (made
// meanwhile on another thread) has written its file since: by the place of
// that write, or, after a write of unknown place, by asking the file.
TEST(OutputFile, WrittenMeanwhileByAnEarlierPage) {
    struct Case {
        const char16_t* earlier;  // the name the earlier page writes
        bool placed;              // its folder's identity is given
        bool meanwhile;
    };
    const Case cases[] = {
        {u"p.html", true, true},  {u"P.html", true, true},    // case folded: asked again in its turn
        {u"q.html", true, false}, {u"p.html", false, true},   // a write of unknown place: the file is asked
        {u"q.html", false, false},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        platform::Folder folder;
        ASSERT_TRUE(folder.open(platform::currentFolder(), widen(tmp.dir)));
        const platform::FileIdentity id = platform::identify(folder, WString());
        WrittenFiles written;
        OutputFile later, earlier;
        ASSERT_EQ(later.open(folder, u"p.html", {}, written, {true, u"b", {}}, id), Refusal::None);
        ASSERT_EQ(earlier.open(folder, c.earlier, {}, written, {true, u"a", {}}, c.placed ? id : platform::FileIdentity{}),
                  Refusal::None);
        earlier.take("page a\n");
        ASSERT_EQ(earlier.finish(), OutputFile::Outcome::Written);
        EXPECT_EQ(later.writtenMeanwhile(), c.meanwhile) << std::string(c.earlier, c.earlier + 6) << " " << c.placed;
    }
}

}  // namespace
}  // namespace tarvo::test
