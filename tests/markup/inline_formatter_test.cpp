#include "markup/test_support.h"

namespace tarvo::markup_test {
namespace {

TEST(InlineFormatter, Emphasis) {
    EXPECT_EQ(inlineText("''a'' '''b''' '''''c'''''"), "<i>a</i> <b>b</b> <b><i>c</b></i>");
    EXPECT_EQ(inlineText("it's 'x'"), "it's 'x'");
    EXPECT_EQ(inlineText("''''x''''"), "<b>'x</b>'");

    RunContext ctx;
    EXPECT_EQ(inlineText(ctx, "''open '''b"), "<i>open <b>b");
    EXPECT_EQ(inlineText(ctx, "close'' x"), "close</i> x");
    EXPECT_TRUE(ctx.block.boldOpen);
    EXPECT_FALSE(ctx.block.italicOpen);
}

TEST(InlineFormatter, Comments) {
    EXPECT_EQ(inlineText("a<!-- x -->b"), "ab");
    EXPECT_EQ(inlineText("<!-- a --> <!-- b -->c"), " c");
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

    RunContext pre;
    pre.block.rawMode = RawMode::PreBlock;
    pre.block.blockMode = BlockMode::PreTag;
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
    RunContext pre;
    pre.block.rawMode = RawMode::PreBlock;
    pre.block.blockMode = BlockMode::PreTag;
    EXPECT_EQ(inlineText(pre, "<nowiki>''a''</nowiki><b>"), "''a''&lt;b&gt;");
    EXPECT_EQ(pre.block.rawMode, RawMode::PreBlock);
}

TEST(InlineFormatter, PreformattedBlockTags) {
    RunContext ctx;
    ctx.block.rawMode = RawMode::PreBlock;
    ctx.block.blockMode = BlockMode::PreTag;
    EXPECT_EQ(inlineText(ctx, "<b>x</b> ''y''"), "&lt;b&gt;x&lt;/b&gt; ''y''");
    EXPECT_EQ(inlineText(ctx, "a</source > ''b''"), "a</pre > <i>b</i>");
    EXPECT_EQ(ctx.block.rawMode, RawMode::Normal);
    EXPECT_EQ(ctx.block.blockMode, BlockMode::None);
    ctx.block.rawMode = RawMode::PreBlock;
    EXPECT_EQ(inlineText(ctx, "a</SOURCE x ''b''"), "a</SOURCE x ''b''");
    EXPECT_EQ(ctx.block.rawMode, RawMode::Normal);

    // Opened inside a line: the text before the tag goes out with the end of
    // the open paragraph.
    std::string written;
    ctx.block.blockMode = BlockMode::Paragraph;
    EXPECT_EQ(inlineText(ctx, "''t'' <source lang=\"c\">code<x>", &written), "<pre lang=\"c\">code&lt;x&gt;");
    EXPECT_EQ(written, "<i>t</i> </p>\n");
    EXPECT_EQ(ctx.block.rawMode, RawMode::PreBlock);
    EXPECT_EQ(ctx.block.blockMode, BlockMode::PreTag);

    // In an indented block the tag is dropped and the block goes on.
    RunContext indented;
    indented.block.blockMode = BlockMode::PreIndent;
    written.clear();
    EXPECT_EQ(inlineText(indented, "a <pre class=x>b<", &written), "b&lt;");
    EXPECT_EQ(written, "a ");
    EXPECT_EQ(indented.block.blockMode, BlockMode::PreTag);

    // With nothing open the text stays in place; capitals are not rewritten.
    RunContext none;
    EXPECT_EQ(inlineText(none, "x <SOURCE>y<"), "x <SOURCE>y&lt;");
    EXPECT_EQ(none.block.blockMode, BlockMode::PreTag);

    // Without ">": the text from the tag on stays unscanned, or is dropped
    // when an indented block was open.
    RunContext open;
    EXPECT_EQ(inlineText(open, "''x'' <source a<b ''c''"), "<i>x</i> <source a<b ''c''");
    EXPECT_EQ(open.block.rawMode, RawMode::PreBlock);
    EXPECT_EQ(open.block.blockMode, BlockMode::PreTag);
    indented.block = BlockState{};
    indented.block.blockMode = BlockMode::PreIndent;
    written.clear();
    EXPECT_EQ(inlineText(indented, "a <pre b<c", &written), "");
    EXPECT_EQ(written, "a ");
    EXPECT_EQ(indented.block.rawMode, RawMode::PreBlock);
}

}  // namespace
}  // namespace tarvo::markup_test
