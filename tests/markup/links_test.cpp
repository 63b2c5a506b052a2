#include "markup/test_support.h"

namespace tarvo::markup_test {
namespace {

std::string ext(std::string_view url, std::string_view text) {
    return "<a class=\"extlink\" href=\"" + std::string(url) + "\" target=\"_blank\">" + std::string(text) + "</a>";
}

TEST(Links, InternalLinks) {
    EXPECT_EQ(inlineText("[[Page]]"), "<a href=\"Page.html\">Page</a>");
    EXPECT_EQ(inlineText("[[ My Page\t]]"), "<a href=\"My Page.html\">My Page</a>");
    EXPECT_EQ(inlineText("[[Page |  a|b ]]"), "<a href=\"Page.html\">a|b</a>");
    EXPECT_EQ(inlineText("[[Page.HTML]]"), "<a href=\"Page.HTML\">Page.HTML</a>");
    EXPECT_EQ(inlineText("[[Page # Part]]"), "<a href=\"Page.html#Part\">Page#Part</a>");
    EXPECT_EQ(inlineText("[[Page.html#Part| Label]]"), "<a href=\"Page.html#Part\">Label</a>");
    EXPECT_EQ(inlineText("[[#Part]]"), "<a href=\"#Part\">#Part</a>");
    EXPECT_EQ(inlineText("[[]]"), "<a href=\".html\"></a>");
    EXPECT_EQ(inlineText("[[Image:Cat.png]]"), "<a href=\"Image:Cat.png.html\">Image:Cat.png</a>");
    EXPECT_EQ(inlineText("[[filex:a]]"), "<a href=\"filex:a.html\">filex:a</a>");
    // A "#" in the label is not an anchor.
    EXPECT_EQ(inlineText("[[Page|see #3]]"), "<a href=\"Page.html\">see #3</a>");
    // The inserted link is scanned again.
    EXPECT_EQ(inlineText("[[Page|''big'' idea]]"), "<a href=\"Page.html\"><i>big</i> idea</a>");
    EXPECT_EQ(inlineText("[[P|see http://x y]]"), "<a href=\"P.html\">see " + ext("http://x", "http://x") + " y</a>");
    // Incomplete or tripled brackets.
    EXPECT_EQ(inlineText("[[Page"), "[[Page");
    EXPECT_EQ(inlineText("[[Page] x]"), "[[Page] x]");
    EXPECT_EQ(inlineText("[[[Page]]]"), "[<a href=\"Page.html\">Page</a>]");
    EXPECT_EQ(inlineText("[[A]] and [[B|b]]."), "<a href=\"A.html\">A</a> and <a href=\"B.html\">b</a>.");
}

TEST(Links, NestedLinksStopAtTheSecondLevel) {
    EXPECT_EQ(inlineText("[[Page|[[Other]]]]"), "<a href=\"Page.html\"><a href=\"Other</a>.html\">Other</a></a>");
    EXPECT_EQ(inlineText("[[A|[[B|[[C]]]]]]"), "<a href=\"A.html\"><a href=\"B.html\">[[C</a></a>]]");
    // Many nested links stay bounded.
    const std::size_t n = 2000;
    std::string text = repeat("[[P|", n) + "x" + repeat("]]", n);
    std::string got = inlineText(text);
    EXPECT_LT(got.size(), 4 * text.size());
}

TEST(Links, Images) {
    EXPECT_EQ(inlineText("[[file:Cat.png]]"), "<img src=\"Cat.png\"/>");
    RunContext ctx;
    ctx.options.filePrefix = "img/";
    EXPECT_EQ(inlineText(ctx, "[[FILE:Cat.png]]"), "<img src=\"img/Cat.png\"/>");

    EXPECT_EQ(inlineText("[[File:Cat.png|left|200px|A cat]]"), "<img src=\"Cat.png\" width=\"200\"/>");
    for (const char* options : {"200x100px", "200 x 100 PX", "x100px|200px", "300px|| top |200x100px"})
        EXPECT_EQ(inlineText("[[file:Cat.png|" + std::string(options) + "]]"),
                  "<img src=\"Cat.png\" width=\"200\" height=\"100\"/>")
            << options;
    for (const char* options : {"200", "px", "20x30x40px", "x px", "200pt", "a200px"})
        EXPECT_EQ(inlineText("[[file:Cat.png|" + std::string(options) + "]]"), "<img src=\"Cat.png\"/>") << options;
    EXPECT_EQ(inlineText("[[file:a.png|0px|x0px]]"), "<img src=\"a.png\" width=\"0\" height=\"0\"/>");
    EXPECT_EQ(inlineText("[[file:a.png|99999999999px]]"), "<img src=\"a.png\" width=\"2147483647\"/>");
    // The name is not trimmed inside the brackets, nor scanned afterwards.
    EXPECT_EQ(inlineText("[[file: Cat.png ]]"), "<img src=\" Cat.png\"/>");
    EXPECT_EQ(inlineText("[[file:a ''b''.png |9px]]"), "<img src=\"a ''b''.png \" width=\"9\"/>");
    // What follows an image is translated.
    EXPECT_EQ(inlineText("[[file:a.png]]''x''[[B]][[file:c.png]]"),
              "<img src=\"a.png\"/><i>x</i><a href=\"B.html\">B</a><img src=\"c.png\"/>");
}

TEST(Links, ExternalLinks) {
    EXPECT_EQ(inlineText("see http://a.b/c."), "see " + ext("http://a.b/c.", "http://a.b/c."));
    EXPECT_EQ(inlineText("HTTPS://a\tb ''c''"), ext("HTTPS://a\tb", "HTTPS://a\tb") + " <i>c</i>");
    EXPECT_EQ(inlineText("httpx http:/ hhttp://a"), "httpx http:/ h" + ext("http://a", "http://a"));
    EXPECT_EQ(inlineText("[http://a.b link ''text''] after"), ext("http://a.b", "link ''text''") + " after");
    EXPECT_EQ(inlineText("[http://a.b ]"), ext("http://a.b", ""));
    EXPECT_EQ(inlineText("[http://a.b]"), "[" + ext("http://a.b]", "http://a.b]"));
    EXPECT_EQ(inlineText("[http://a.b] more] end"), ext("http://a.b]", "more") + " end");
    EXPECT_EQ(inlineText("[http://a.b] more"), "[" + ext("http://a.b]", "http://a.b]") + " more");
    EXPECT_EQ(inlineText("[[http://x y]"), "[" + ext("http://x", "y"));
    // URLs and links inside the attributes of a tag that passes through.
    EXPECT_EQ(inlineText("<div title=\"http://x\">"), "<div title=\"" + ext("http://x\">", "http://x\">"));
    EXPECT_EQ(inlineText("<span title=\"[[P]]\">"), "<span title=\"<a href=\"P.html\">P</a>\">");
}

}  // namespace
}  // namespace tarvo::markup_test
