#include "page/page_converter.h"

#include "test_support.h"

namespace tarvo::test {
namespace {

TEST(MakeOutputName, FormsThePageNameFromTheSourceAndTheOutputArgument) {
    auto name = [](std::u16string_view source, std::optional<WString> out = std::nullopt) {
        return makeOutputName(WString(source), out);
    };
    EXPECT_EQ(name(u"docs\\old.1\\a.b.wiki"), u"docs\\old.1\\a.b.html");
    EXPECT_EQ(name(u"docs/old.1/README"), u"docs/old.1/README.html");
    EXPECT_EQ(name(u"intro.txt", u"out\\"), u"out\\intro.html");
    EXPECT_EQ(name(u"intro.txt", u"result"), u"result.html");
    EXPECT_EQ(name(u"C:intro.txt", u"X:"), u"X:intro.html");
}

// A source that is listed and then disappears before it is opened is reported
// like any source that cannot be opened, and fails the conversion.
TEST(ConvertPage, ASourceThatDisappearsAfterListingCannotBeOpened) {
    TempDir tmp;
    writeFile(tmp.dir + "gone.txt", "text\n");
    platform::DirSearch search;
    platform::DirEntry entry;
    ASSERT_TRUE(search.findFirst(widen(tmp.dir + "*.txt"), entry));
    EXPECT_EQ(entry.name, u"gone.txt");
    ASSERT_TRUE(fs::remove(tmp.dir + "gone.txt"));

    RunState run;
    Report report;
    const PageOptions options;
    MarkupContext markup(options.markup);
    const PageContext ctx{options, run, report, markup};
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(convertPage(ctx, SourceFile{platform::currentFolder(), widen(tmp.dir) + entry.name, 0, {}, nullptr, {}}, std::nullopt), 1);
    report.flush();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Can't open " + tmp.dir + "gone.txt");
    EXPECT_FALSE(platform::identify(widen(tmp.dir + "gone.html")).exists);
}

}  // namespace
}  // namespace tarvo::test
