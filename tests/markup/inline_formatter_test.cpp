#include "test_support.h"

namespace tarvo::test {
namespace {

// A run state inside a preformatted block opened by a tag.
RunContext inPreBlock() {
    RunContext ctx;
    ctx.block.rawMode = RawMode::PreBlock;
    ctx.block.blockMode = BlockMode::PreTag;
    return ctx;
}

TEST(InlineFormatter, Emphasis) {
    EXPECT_EQ(inlineText("it's 'x'"), "it's 'x'");

    RunContext ctx;
    EXPECT_EQ(inlineText(ctx, "''open '''b"), "<i>open <b>b");
    EXPECT_EQ(inlineText(ctx, "close'' x"), "close</i> x");
    EXPECT_TRUE(ctx.block.boldOpen);
    EXPECT_FALSE(ctx.block.italicOpen);
}

TEST(InlineFormatter, Comments) {
    EXPECT_EQ(inlineText("a<!-->b-->c"), "ac");
    EXPECT_EQ(inlineText("a <!-- ''b'' [[P]] --> ''c''"), "a  <i>c</i>");

    RunContext ctx;
    EXPECT_EQ(inlineText(ctx, "a<!--x ''"), "a");
    EXPECT_TRUE(ctx.block.inComment);
    EXPECT_FALSE(ctx.block.italicOpen);
    EXPECT_EQ(inlineText(ctx, "y"), "");
    EXPECT_TRUE(ctx.block.inComment);
    EXPECT_EQ(inlineText(ctx, "y-->b<!--"), "b");
    EXPECT_TRUE(ctx.block.inComment);

    RunContext pre = inPreBlock();
    EXPECT_EQ(inlineText(pre, "<!-- x -->"), "&lt;!-- x --&gt;");
    EXPECT_FALSE(pre.block.inComment);
}

TEST(InlineFormatter, AngleBracketsAndPassThroughTags) {
    EXPECT_EQ(inlineText("a < b > c & d"), "a &lt; b > c & d");
    for (const char* tag : {"<b>", "<I>", "</u>", "<s >", "<a href=x>", "<br/>", "<br />", "<TT>",
                            "<div class=\"x\">", "<img src=x/>", "</del>", "<pre/>", "</blockquote>"})
        EXPECT_EQ(inlineText(tag), tag);
    for (const char* tag : {"<brx>", "<strong>", "<table>", "<sub>", "<hr>", "<divx>", "</nowiki>", "</source>"})
        EXPECT_EQ(inlineText(tag), "&lt;" + std::string(tag + 1));
    EXPECT_EQ(inlineText("a<"), "a&lt;");
    EXPECT_EQ(inlineText("</"), "&lt;/");
    EXPECT_EQ(inlineText("<p"), "&lt;p");
    // The rest of a passing tag is ordinary text.
    EXPECT_EQ(inlineText("<span title='''x'''>y</span>"), "<span title=<b>x</b>>y</span>");

    // A "</pre>" that passes in normal text ends the open block.
    RunContext ctx;
    ctx.block.blockMode = BlockMode::PreIndent;
    EXPECT_EQ(inlineText(ctx, "a</pre> ''b''"), "a</pre> <i>b</i>");
    EXPECT_EQ(ctx.block.blockMode, BlockMode::None);
}

TEST(InlineFormatter, NowikiSpans) {
    EXPECT_EQ(inlineText("<nowiki>''x'' <b> [[P]] http://x <nowiki></nowiki>''y''"),
              "''x'' &lt;b&gt; [[P]] http://x &lt;nowiki&gt;<i>y</i>");

    RunContext ctx;
    EXPECT_EQ(inlineText(ctx, "<NoWiki/>''a''"), "''a''");
    EXPECT_EQ(ctx.block.rawMode, RawMode::Nowiki);
    // A closing tag without ">" ends the span and the scan.
    EXPECT_EQ(inlineText(ctx, "a</nowiki b''c''"), "a</nowiki b''c''");
    EXPECT_EQ(ctx.block.rawMode, RawMode::Normal);
    // An opening tag without ">" starts the span and ends the scan.
    EXPECT_EQ(inlineText(ctx, "''x'' <nowiki b ''c''"), "<i>x</i> <nowiki b ''c''");
    EXPECT_EQ(ctx.block.rawMode, RawMode::Nowiki);

    // In a preformatted block the nowiki tags go and the block stays.
    RunContext pre = inPreBlock();
    EXPECT_EQ(inlineText(pre, "<nowiki>''a''</nowiki><b>"), "''a''&lt;b&gt;");
    EXPECT_EQ(pre.block.rawMode, RawMode::PreBlock);
}

TEST(InlineFormatter, PreformattedBlockTags) {
    // Opened inside a paragraph or an indented block: BlockParser.PreTagInsideLine.
    RunContext ctx = inPreBlock();
    EXPECT_EQ(inlineText(ctx, "a</source > ''b''"), "a</pre > <i>b</i>");
    EXPECT_EQ(ctx.block.rawMode, RawMode::Normal);
    EXPECT_EQ(ctx.block.blockMode, BlockMode::None);
    // A closing tag without ">" ends the block too, and stays as written.
    ctx.block.rawMode = RawMode::PreBlock;
    EXPECT_EQ(inlineText(ctx, "a</SOURCE x ''b''"), "a</SOURCE x ''b''");
    EXPECT_EQ(ctx.block.rawMode, RawMode::Normal);
    // With nothing open the text stays in place; capitals are not rewritten.
    RunContext none;
    EXPECT_EQ(inlineText(none, "x <SOURCE>y<"), "x <SOURCE>y&lt;");
    EXPECT_EQ(none.block.blockMode, BlockMode::PreTag);
}

std::string ext(std::string_view url, std::string_view text) {
    return "<a class=\"extlink\" href=\"" + std::string(url) + "\" target=\"_blank\">" + std::string(text) + "</a>";
}

TEST(Links, InternalLinks) {
    EXPECT_EQ(inlineText("[[Page]]"), "<a href=\"Page.html\">Page</a>");
    EXPECT_EQ(inlineText("[[ My Page\t]]"), "<a href=\"My Page.html\">My Page</a>");
    EXPECT_EQ(inlineText("[[Page |  a|b ]]"), "<a href=\"Page.html\">a|b</a>");
    EXPECT_EQ(inlineText("[[Page.HTML]]"), "<a href=\"Page.HTML\">Page.HTML</a>");
    EXPECT_EQ(inlineText("[[Page.html#Part| Label]]"), "<a href=\"Page.html#Part\">Label</a>");
    EXPECT_EQ(inlineText("[[#Part]]"), "<a href=\"#Part\">#Part</a>");
    EXPECT_EQ(inlineText("[[filex:a]]"), "<a href=\"filex:a.html\">filex:a</a>");
    // A "#" in the label is not an anchor.
    EXPECT_EQ(inlineText("[[Page|see #3]]"), "<a href=\"Page.html\">see #3</a>");
    // Brackets that do not close.
    EXPECT_EQ(inlineText("[[Page] x]"), "[[Page] x]");
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
    auto cat = [](std::string options) { return inlineText("[[file:Cat.png|" + options + "]]"); };
    for (const char* options : {"200x100px", "x100px|200px", "300px|| top |200x100px"})
        EXPECT_EQ(cat(options), "<img src=\"Cat.png\" width=\"200\" height=\"100\"/>") << options;
    for (const char* options : {"200", "px", "x px", "200pt", "a200px"}) EXPECT_EQ(cat(options), "<img src=\"Cat.png\"/>");
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
    EXPECT_EQ(inlineText("[http://a.b] more"), "[" + ext("http://a.b]", "http://a.b]") + " more");
    EXPECT_EQ(inlineText("[[http://x y]"), "[" + ext("http://x", "y"));
    // URLs and links inside the attributes of a tag that passes through.
    EXPECT_EQ(inlineText("<div title=\"http://x\">"), "<div title=\"" + ext("http://x\">", "http://x\">"));
    EXPECT_EQ(inlineText("<span title=\"[[P]]\">"), "<span title=\"<a href=\"P.html\">P</a>\">");
}

}  // namespace
}  // namespace tarvo::test
