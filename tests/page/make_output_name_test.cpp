#include <gtest/gtest.h>

#include "page/page_converter.h"

namespace tarvo {
namespace {

WString name(std::u16string_view source, std::optional<WString> out = std::nullopt) {
    return makeOutputName(WString(source), out);
}

TEST(MakeOutputName, FormsThePageNameFromTheSourceAndTheOutputArgument) {
    EXPECT_EQ(name(u"docs\\intro.txt"), u"docs\\intro.html");
    EXPECT_EQ(name(u"docs\\old.1\\a.b.wiki"), u"docs\\old.1\\a.b.html");
    EXPECT_EQ(name(u"intro.txt", u"out\\"), u"out\\intro.html");
    EXPECT_EQ(name(u"intro.txt", u"result"), u"result.html");
    EXPECT_EQ(name(u"C:intro.txt", u"X:"), u"X:intro.html");
    EXPECT_EQ(name(u"docs/old.1/README"), u"docs/old.1/README.html");
    EXPECT_EQ(name(u"a.txt", u"page.html"), u"page.html.html");
    EXPECT_EQ(name(u"sub/a.txt", u"  \t "), u"sub/a.html");
    EXPECT_EQ(name(u"sub/a.txt", u" out/ "), u"out/a.html");
}

}  // namespace
}  // namespace tarvo
