#include "markup/test_support.h"

namespace tarvo::markup_test {
namespace {

constexpr std::string_view kEnd = "</tr>\n</tbody>\n</table>\n";

TEST(Tables, RowsAndCells) {
    EXPECT_EQ(body("{| class=x\n|-\n! A !! B\n|-\n| 1 || 2\n|}"),
              "<table class=x>\n<tbody>\n<tr>\n<th>A </th>\n<th>B</th>\n</tr>\n<tr>\n<td> 1 </td>\n<td> 2</td>\n" +
                  std::string(kEnd));
    EXPECT_EQ(body("{|\n|- style=x\n| a\n|}"), "<table>\n<tbody>\n<tr style=x>\n<td> a</td>\n" + std::string(kEnd));
    // Attributes: untrimmed, only before the first "||", never inside a link.
    EXPECT_EQ(body("{|\n| style=x | a\n| a || b=1 | c\n! a | b\n| [[Page|label]] || [[P]] x=1 | y\n|}"),
              "<table>\n<tbody>\n<tr>\n<td  style=x > a</td>\n<td> a </td>\n<td  b=1 > c</td>\n<th a > b</th>\n"
              "<td> <a href=\"Page.html\">label</a> </td>\n<td> <a href=\"P.html\">P</a> x=1 | y</td>\n" +
                  std::string(kEnd));
    // A header cell after a data cell closes it once only.
    EXPECT_EQ(body("{|\n| a\n! b\n|}"), "<table>\n<tbody>\n<tr>\n<td> a</td>\n<th>b</th>\n" + std::string(kEnd));
    // The table's attributes are copied without inline translation.
    EXPECT_EQ(body("{| class=\"t\" ''x'' <b\n|}"), "<table class=\"t\" ''x'' <b>\n<tbody>\n</tbody>\n</table>\n");
}

TEST(Tables, CaptionsTableEndAndLinesOutsideTables) {
    EXPECT_EQ(body("{|\n|+ Title\n|}"), "<table>\n<tbody>\n<caption>Title</caption>\n</tbody>\n</table>\n");
    EXPECT_EQ(body("{|\n| a\n|+ style=x | ''T''\n|}"),
              "<table>\n<tbody>\n<tr>\n<td> a</td>\n</tr>\n<caption style=x > <i>T</i></caption>\n"
              "</tbody>\n</table>\n");
    EXPECT_EQ(body("{|\n| a\n|} after"), "<table>\n<tbody>\n<tr>\n<td> a</td>\n" + std::string(kEnd) + "<p>after</p>\n");
    EXPECT_EQ(body("! x\n| y\n|}\n{x"), "<p>! x\n| y\n|}\n{x</p>\n");
}

TEST(Tables, NowikiSpansInCells) {
    EXPECT_EQ(body("{|\n| <nowiki>a||b</nowiki> || c\n|}"),
              "<table>\n<tbody>\n<tr>\n<td> a||b </td>\n<td> c</td>\n" + std::string(kEnd));
    // Spans before, between and around the separators of one line.
    EXPECT_EQ(body("{|\n| <nowiki>a</nowiki> || b || <nowiki>c||d</nowiki> || e\n|}"),
              "<table>\n<tbody>\n<tr>\n<td> a </td>\n<td> b </td>\n<td> c||d </td>\n<td> e</td>\n" +
                  std::string(kEnd));
    // A span not closed on the line makes the rest one cell.
    EXPECT_EQ(body("{|\n| x=1 | <nowiki>a||b\nc</nowiki>\n|}"),
              "<table>\n<tbody>\n<tr>\n<td  x=1 > a||b<p>c</p>\n</td>\n" + std::string(kEnd));
    // A "|" inside the span is not an attribute separator.
    EXPECT_EQ(body("{|\n| <nowiki>a|b</nowiki> c\n|}"),
              "<table>\n<tbody>\n<tr>\n<td> a|b c</td>\n" + std::string(kEnd));
    // A "</nowiki>" before the rest of the line does not hide a later "|".
    EXPECT_EQ(body("{|\n| x</nowiki> || <nowiki>y | z\n|}"),
              "<table>\n<tbody>\n<tr>\n<td> x&lt;/nowiki> </td>\n<td  <nowiki>y > z</td>\n" + std::string(kEnd));
}

TEST(Tables, CommentsBlankLinesAndBlocksInsideTables) {
    // A comment opened in a cell swallows the rest of the line, and the text
    // behind its end is a table line of its own.
    EXPECT_EQ(body("{|\n| a <!-- x || y\nz -->|| w\n|}"),
              "<table>\n<tbody>\n<tr>\n<td> a </td>\n<td > w</td>\n" + std::string(kEnd));
    EXPECT_EQ(body("{|\n| a\n\n<!-- c -->\n|-\n\n| b\n|}"),
              "<table>\n<tbody>\n<tr>\n<td> a</td>\n</tr>\n<tr>\n<td> b</td>\n" + std::string(kEnd));
    // Paragraphs, preformatted text and lists inside cells are closed before
    // the cell.
    EXPECT_EQ(body("{|\n| a\ntext\n| b\n code\n|-\n| c\n* i\n|}"),
              "<table>\n<tbody>\n<tr>\n<td> a<p>text</p>\n</td>\n<td> b\n<pre>code</pre>\n</td>\n</tr>\n"
              "<tr>\n<td> c<ul>\n<li>i</li>\n</ul>\n</td>\n" + std::string(kEnd));
    EXPECT_EQ(body("para\n{|\n| * x\n|}\nafter"),
              "<p>para</p>\n<table>\n<tbody>\n<tr>\n<td> * x</td>\n" + std::string(kEnd) + "<p>after</p>\n");
}

TEST(Tables, HundredThousandNestedTables) {
    const std::size_t depth = 100000;
    const std::string expected =
        repeat("<table>\n<tbody>\n<tr>\n<td> a", depth) + repeat("</td>\n</tr>\n</tbody>\n</table>\n", depth);
    const std::string got = body(repeat("{|\n| a\n", depth));
    EXPECT_TRUE(got == expected) << "output of " << got.size() << " bytes differs";
}

}  // namespace
}  // namespace tarvo::markup_test
