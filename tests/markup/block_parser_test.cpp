#include "markup/test_support.h"

namespace tarvo::markup_test {
namespace {

TEST(BlockParser, ParagraphsAndIndentedPreformattedText) {
    EXPECT_EQ(body("Hello\nworld\n\n"), "<p>Hello\nworld</p>\n");
    EXPECT_EQ(body(" a\n b\n\n"), "\n<pre>a\nb</pre>\n");
    // A line of blanks is a blank line; trailing blanks never reach the page.
    EXPECT_EQ(body("x  \n \t \ny\t\n"), "<p>x</p>\n<p>y</p>\n");
    // A tab starts preformatted text too; only the first blank is taken off.
    EXPECT_EQ(body("text\n\tcode\n  two\nmore\n"), "<p>text</p>\n<pre>code\n two</pre>\n<p>more</p>\n");
    // Indented lines are normal text for the inline markup.
    EXPECT_EQ(body(" ''a'' [[P]] <b>"), "\n<pre><i>a</i> <a href=\"P.html\">P</a> <b></pre>\n");
    // CR LF and lone CR line ends.
    EXPECT_EQ(body("a\r\nb\rc\r\n\r\nd"), "<p>a\nb\nc</p>\n<p>d</p>\n");
}

TEST(BlockParser, HeadingsAndRules) {
    EXPECT_EQ(body("== Title ==  "), "<h2>Title</h2>\n");
    EXPECT_EQ(body("==x"), "<p>==x</p>\n");
    EXPECT_EQ(body("="), "<h1></h1>\n");
    EXPECT_EQ(body("=== A =="), "<h2>= A</h2>\n");
    EXPECT_EQ(body("=======x======="), "<h7>x</h7>\n");
    EXPECT_EQ(body("para\n== H ==\nnext"), "<p>para</p>\n<h2>H</h2>\n<p>next</p>\n");
    EXPECT_EQ(body("== [[Page|A]] ''b'' =="), "<h2><a href=\"Page.html\">A</a> <i>b</i></h2>\n");

    EXPECT_EQ(body("----"), "<hr>\n");
    EXPECT_EQ(body("------ x"), "<hr>\nx\n");
    EXPECT_EQ(body("----\t''y''"), "<hr>\n<i>y</i>\n");
    EXPECT_EQ(body("---"), "<p>---</p>\n");
    EXPECT_EQ(body("a\n----\nb"), "<p>a</p>\n<hr>\n<p>b</p>\n");
}

TEST(BlockParser, PreAndSourceBlocksAtLineStart) {
    // Inside the block nothing is classified; blank lines keep it open.
    EXPECT_EQ(body("para\n<source lang=c>\nint a<b;\n\n  x\n* y\n== h ==\n</source>\nafter\n"),
              "<p>para</p>\n<pre lang=c>\nint a&lt;b;\n\n  x\n* y\n== h ==\n</pre><p>after</p>\n");
    EXPECT_EQ(body("<SOURCE>\nx\n</SOURCE>"), "<SOURCE>\nx\n</SOURCE>");
    EXPECT_EQ(body("<pre>a ''b''</pre> ''c''"), "<pre>a ''b''</pre> <i>c</i>");
    // Unclosed: the end of the page closes it.
    EXPECT_EQ(body("<pre>\nx"), "<pre>\nx</pre>\n");
    // Without ">" the tag is text of the block.
    EXPECT_EQ(body("<pre class=x\ny"), "&lt;pre class=x\ny</pre>\n");
    // A tag at line start continues an indented block without a tag of its own.
    EXPECT_EQ(body(" a\n<pre>b\n</pre>"), "\n<pre>ab\n</pre>");
}

TEST(BlockParser, PreTagInsideLine) {
    EXPECT_EQ(body("text <source lang=\"c\">code<x>\nmore"),
              "<p>text </p>\n<pre lang=\"c\">code&lt;x&gt;\nmore</pre>\n");
    EXPECT_EQ(body(" a\n b <pre>c\n</pre>"), "\n<pre>a\nb c\n</pre>");
    // No ">" on the line and no preformatted block open: the text from the tag
    // on stays as written, the block is open all the same.
    EXPECT_EQ(body("text <source lang=c\na<b\n</pre>"), "<p>text </p>\n<source lang=c\na&lt;b\n</pre>");
    EXPECT_EQ(body("x <pre a<b ''c''"), "<p>x </p>\n<pre a<b ''c''</pre>\n");
    // ... and in an indented block it is removed.
    EXPECT_EQ(body(" code <pre b<c\n</pre>"), "\n<pre>code \n</pre>");
}

TEST(BlockParser, CommentLines) {
    // The text behind "-->" is a line of its own.
    EXPECT_EQ(body("<!-- note\n\nhidden\nstill --> x\n"), "\n<pre>x</pre>\n");
    EXPECT_EQ(body("<!-- a\n-->== h =="), "<h2>h</h2>\n");
    // A comment line continues an open paragraph; a blank line inside the
    // comment does not close it.
    EXPECT_EQ(body("a\n<!-- c -->\nb"), "<p>a\n\nb</p>\n");
    EXPECT_EQ(body("x\n<!-- a\n\n-->b\n"), "<p>x\n\nb</p>\n");
    // Without an open paragraph the rest of a comment line opens none.
    EXPECT_EQ(body("<!-->x"), "x");
    // A comment opened in a heading runs on to the following lines.
    EXPECT_EQ(body("== a <!-- b ==\nc\nd --> e\nf"), "<h2>a </h2>\n\n<pre>e</pre>\n<p>f</p>\n");
    // ... and one opened in a list item.
    EXPECT_EQ(body("* a <!-- b\n* c -->d"), "<ul>\n<li>a </li>\n</ul>\n<p>d</p>\n");
}

TEST(BlockParser, NowikiSpanRunsOverLines) {
    EXPECT_EQ(body("a <nowiki>''b\n\nc''</nowiki> ''d''"), "<p>a ''b</p>\n<p>c'' <i>d</i></p>\n");
    // Lines inside the span are not classified.
    EXPECT_EQ(body("<nowiki>\n* x\n== y ==\n</nowiki>"), "<p>\n* x\n== y ==\n</p>\n");
    // In an indented block the span keeps the block going.
    EXPECT_EQ(body(" a <nowiki>b\nc\n</nowiki> d\n\n"), "\n<pre>a b\nc\n d</pre>\n");
}

TEST(BlockParser, EndOfPageClosesTheListThenTheTablesInnermostFirst) {
    EXPECT_EQ(body("{|\n| a\n{|\n! b\n* c"),
              "<table>\n<tbody>\n<tr>\n<td> a<table>\n<tbody>\n<tr>\n<th>b<ul>\n<li>c</li>\n</ul>\n"
              "</th>\n</tr>\n</tbody>\n</table>\n</td>\n</tr>\n</tbody>\n</table>\n");
}

TEST(BlockParser, StatePassesFromPageToPage) {
    RunContext ctx;
    // Emphasis, comments and raw text are reset at the start of a page...
    EXPECT_EQ(body(ctx, "''a <!-- b"), "<p><i>a </p>\n");
    EXPECT_EQ(body(ctx, "''c''"), "<p><i>c</i></p>\n");
    EXPECT_EQ(body(ctx, "<nowiki>x"), "<p>x</p>\n");
    EXPECT_EQ(body(ctx, "''y''"), "<p><i>y</i></p>\n");
    // ... and blocks, lists and tables are closed at the end of one.
    EXPECT_EQ(body(ctx, "* a\n{|\n| b"), "<ul>\n<li>a</li>\n</ul>\n<table>\n<tbody>\n<tr>\n<td> b</td>\n</tr>\n</tbody>\n</table>\n");
    EXPECT_EQ(body(ctx, "c"), "<p>c</p>\n");
}

}  // namespace
}  // namespace tarvo::markup_test
