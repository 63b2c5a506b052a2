#include "page/run.h"

#include "page/page_name.h"
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

// What a run says, kept instead of printed.
struct CapturedConsole final : Console {
    std::string standardOutput, standardError;
    bool out(std::string_view bytes) override { return standardOutput.append(bytes), true; }
    void err(std::string_view bytes) override { standardError.append(bytes); }
    bool outIsTerminal() const override { return false; }
};

// A source that is listed and then disappears before it is opened is said
// like any source that cannot be opened, and fails the run.
TEST(PageRun, ASourceThatDisappearsAfterListingCannotBeOpened) {
    TempDir tmp;
    writeFile(tmp.dir + "gone.txt", "text\n");
    platform::DirSearch search;
    platform::DirEntry entry;
    ASSERT_TRUE(search.findFirst(widen(tmp.dir + "*.txt"), entry));
    EXPECT_EQ(entry.name, u"gone.txt");
    ASSERT_TRUE(fs::remove(tmp.dir + "gone.txt"));

    CapturedConsole console;
    {
        Report report(console);
        tarvo::Run run(RunOptions{}, report);
        ASSERT_TRUE(run.start());
        const SourceFile source{platform::currentFolder(), widen(tmp.dir) + entry.name, 0, {}, nullptr, {}};
        EXPECT_FALSE(run.add(source, std::make_shared<platform::Folder>(), nullptr));
        EXPECT_EQ(run.finish(), 1);
    }
    EXPECT_EQ(console.standardOutput, "Can't open " + tmp.dir + "gone.txt");
    EXPECT_EQ(console.standardError, "");
    EXPECT_FALSE(platform::identify(widen(tmp.dir + "gone.html")).exists);
}

}  // namespace
}  // namespace tarvo::test
