#include "test_support.h"

namespace tarvo::test {
namespace {

// The end of a table whose last row is open, and a table of one open row.
const std::string kEnd = "</tr>\n</tbody>\n</table>\n";
std::string table(std::string_view cells) { return "<table>\n<tbody>\n<tr>\n" + std::string(cells) + kEnd; }

TEST(BlockParser, ParagraphsAndIndentedPreformattedText) {
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
    EXPECT_EQ(body("== [[Page|A]] ''b'' =="), "<h2><a href=\"Page.html\">A</a> <i>b</i></h2>\n");

    EXPECT_EQ(body("----"), "<hr>\n");
    EXPECT_EQ(body("------ \t''y''"), "<hr>\n<i>y</i>\n");
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

TEST(BlockParser, StatePassesFromPageToPage) {
    RunContext ctx;
    // Emphasis, comments and raw text are reset at the start of a page...
    EXPECT_EQ(body(ctx, "''a <!-- b"), "<p><i>a </p>\n");
    EXPECT_EQ(body(ctx, "''c''"), "<p><i>c</i></p>\n");
    EXPECT_EQ(body(ctx, "<nowiki>x"), "<p>x</p>\n");
    EXPECT_EQ(body(ctx, "''y''"), "<p><i>y</i></p>\n");
    // ... and blocks, lists and tables are closed at the end of one, the list
    // first, then the tables innermost first.
    EXPECT_EQ(body(ctx, "{|\n| a\n{|\n! b\n* c"),
              table("<td> a<table>\n<tbody>\n<tr>\n<th>b<ul>\n<li>c</li>\n</ul>\n</th>\n" + kEnd + "</td>\n"));
    EXPECT_EQ(body(ctx, "c"), "<p>c</p>\n");
}

TEST(Lists, NestingAndClosing) {
    EXPECT_EQ(body("* a\n** b\n* c"), "<ul>\n<li>a\n<ul>\n<li>b</li>\n</ul>\n</li>\n<li>c</li>\n</ul>\n");
    EXPECT_EQ(body("*"), "<ul>\n<li></li>\n</ul>\n");
    EXPECT_EQ(body("#*#x"), "<ol>\n<li>\n<ul>\n<li>\n<ol>\n<li>x</li>\n</ol>\n</li>\n</ul>\n</li>\n</ol>\n");
    // Levels that stay open are not compared with the line's prefix.
    EXPECT_EQ(body("* a\n#*x"), "<ul>\n<li>a\n<ul>\n<li>x</li>\n</ul>\n</li>\n</ul>\n");
    EXPECT_EQ(body("*** a\n* b"),
              "<ul>\n<li>\n<ul>\n<li>\n<ul>\n<li>a</li>\n</ul>\n</li>\n</ul>\n</li>\n<li>b</li>\n</ul>\n");
}

TEST(Lists, DefinitionListsAndChangesOfKind) {
    EXPECT_EQ(body("; term\n: text"), "<dl><dt>term</dt>\n<dd>text</dd></dl>\n");
    EXPECT_EQ(body("; term : text"), "<dl><dt>term : text</dt></dl>\n");
    EXPECT_EQ(body(";: x"), "<dl><dt>\n<dl><dd>x</dd></dl>\n</dt></dl>\n");
    EXPECT_EQ(body("* a\n# b"), "<ul>\n<li>a</li>\n</ul>\n<ol>\n<li>b</li>\n</ol>\n");
    EXPECT_EQ(body(": a\n* b"), "<dl><dd>a</dd>\n</dl><ul>\n<li>b</li>\n</ul>\n");
    EXPECT_EQ(body("# a\n## b\n#* c"), "<ol>\n<li>a\n<ol>\n<li>b</li>\n</ol>\n<ul>\n<li>c</li>\n</ul>\n</li>\n</ol>\n");
}

TEST(Lists, InterplayWithOtherBlocks) {
    EXPECT_EQ(body("para\n* a\ntext"), "<p>para</p>\n<ul>\n<li>a</li>\n</ul>\n<p>text</p>\n");
    EXPECT_EQ(body("* a\n<!-- c -->\n* b"), "<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n");
    EXPECT_EQ(body("* a\n code"), "<ul>\n<li>a</li>\n</ul>\n<pre>code</pre>\n");
    EXPECT_EQ(body("*  \t[[Page]] ''x'' [[file:i.png|9px]]"),
              "<ul>\n<li><a href=\"Page.html\">Page</a> <i>x</i> <img src=\"i.png\" width=\"9\"/></li>\n</ul>\n");
    // A pre tag inside an item opens the block; the list closes when the
    // item had open ones before it, or at the next line otherwise.
    EXPECT_EQ(body("* a <pre>b<c\nd"), "<ul>\n<li>a <pre>b&lt;c</li>\n</ul>\n<p>d</p>\n");
    EXPECT_EQ(body("* a\n* b <source lang=c>x<y\nz\n</source> w\n* c"),
              "<ul>\n<li>a</li>\n<li>b </li>\n</ul>\n<pre lang=c>x&lt;y<p>z\n</pre> w<ul>\n<li>c</li>\n</ul>\n");
}

TEST(Lists, HundredThousandLevelsDeep) {
    const std::size_t depth = 100000;
    std::string source(depth, '*');
    source += "x\n* y\n";
    const std::string expected = repeat("<ul>\n<li>\n", depth - 1) + "<ul>\n<li>x" +
                                 repeat("</li>\n</ul>\n", depth - 1) + "</li>\n<li>y</li>\n</ul>\n";
    const std::string got = body(source);
    EXPECT_TRUE(got == expected) << "output of " << got.size() << " bytes differs";
}


TEST(Tables, RowsAndCells) {
    EXPECT_EQ(body("{| class=x\n|-\n! A !! B\n|-\n| 1 || 2\n|}"),
              "<table class=x>\n<tbody>\n<tr>\n<th>A </th>\n<th>B</th>\n</tr>\n<tr>\n<td> 1 </td>\n<td> 2</td>\n" +
                  kEnd);
    EXPECT_EQ(body("{|\n|- style=x\n| a\n|}"), "<table>\n<tbody>\n<tr style=x>\n<td> a</td>\n" + kEnd);
    // Attributes: untrimmed, only before the first "||", never inside a link.
    EXPECT_EQ(body("{|\n| style=x | a\n| a || b=1 | c\n! a | b\n| [[Page|label]] || [[P]] x=1 | y\n|}"),
              table("<td  style=x > a</td>\n<td> a </td>\n<td  b=1 > c</td>\n<th a > b</th>\n"
                    "<td> <a href=\"Page.html\">label</a> </td>\n<td> <a href=\"P.html\">P</a> x=1 | y</td>\n"));
    // A header cell after a data cell closes it once only.
    EXPECT_EQ(body("{|\n| a\n! b\n|}"), table("<td> a</td>\n<th>b</th>\n"));
    // The table's attributes are copied without inline translation.
    EXPECT_EQ(body("{| class=\"t\" ''x'' <b\n|}"), "<table class=\"t\" ''x'' <b>\n<tbody>\n</tbody>\n</table>\n");
}

TEST(Tables, CaptionsTableEndAndLinesOutsideTables) {
    EXPECT_EQ(body("{|\n|+ Title\n|}"), "<table>\n<tbody>\n<caption>Title</caption>\n</tbody>\n</table>\n");
    EXPECT_EQ(body("{|\n| a\n|+ style=x | ''T''\n|}"),
              "<table>\n<tbody>\n<tr>\n<td> a</td>\n</tr>\n<caption style=x > <i>T</i></caption>\n"
              "</tbody>\n</table>\n");
    EXPECT_EQ(body("{|\n| a\n|} after"), table("<td> a</td>\n") + "<p>after</p>\n");
    EXPECT_EQ(body("! x\n| y\n|}\n{x"), "<p>! x\n| y\n|}\n{x</p>\n");
}

TEST(Tables, NowikiSpansInCells) {
    EXPECT_EQ(body("{|\n| <nowiki>a||b</nowiki> || c\n|}"), table("<td> a||b </td>\n<td> c</td>\n"));
    // Spans before, between and around the separators of one line.
    EXPECT_EQ(body("{|\n| <nowiki>a</nowiki> || b || <nowiki>c||d</nowiki> || e\n|}"),
              table("<td> a </td>\n<td> b </td>\n<td> c||d </td>\n<td> e</td>\n"));
    // A span not closed on the line makes the rest one cell.
    EXPECT_EQ(body("{|\n| x=1 | <nowiki>a||b\nc</nowiki>\n|}"), table("<td  x=1 > a||b<p>c</p>\n</td>\n"));
    // A "|" inside the span is not an attribute separator.
    EXPECT_EQ(body("{|\n| <nowiki>a|b</nowiki> c\n|}"), table("<td> a|b c</td>\n"));
    // A "</nowiki>" before the rest of the line does not hide a later "|".
    EXPECT_EQ(body("{|\n| x</nowiki> || <nowiki>y | z\n|}"),
              table("<td> x&lt;/nowiki> </td>\n<td  <nowiki>y > z</td>\n"));
}

TEST(Tables, CommentsBlankLinesAndBlocksInsideTables) {
    // A comment opened in a cell swallows the rest of the line, and the text
    // behind its end is a table line of its own.
    EXPECT_EQ(body("{|\n| a <!-- x || y\nz -->|| w\n|}"), table("<td> a </td>\n<td > w</td>\n"));
    EXPECT_EQ(body("{|\n| a\n\n<!-- c -->\n|-\n\n| b\n|}"), table("<td> a</td>\n</tr>\n<tr>\n<td> b</td>\n"));
    // Paragraphs, preformatted text and lists inside cells are closed before
    // the cell.
    EXPECT_EQ(body("{|\n| a\ntext\n| b\n code\n|-\n| c\n* i\n|}"),
              table("<td> a<p>text</p>\n</td>\n<td> b\n<pre>code</pre>\n</td>\n</tr>\n"
                    "<tr>\n<td> c<ul>\n<li>i</li>\n</ul>\n</td>\n"));
    EXPECT_EQ(body("para\n{|\n| * x\n|}\nafter"), "<p>para</p>\n" + table("<td> * x</td>\n") + "<p>after</p>\n");
}

TEST(Tables, HundredThousandNestedTables) {
    const std::size_t depth = 100000;
    const std::string expected =
        repeat("<table>\n<tbody>\n<tr>\n<td> a", depth) + repeat("</td>\n</tr>\n</tbody>\n</table>\n", depth);
    const std::string got = body(repeat("{|\n| a\n", depth));
    EXPECT_TRUE(got == expected) << "output of " << got.size() << " bytes differs";
}

}  // namespace
}  // namespace tarvo::test
