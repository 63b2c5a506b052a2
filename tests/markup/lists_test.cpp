#include "markup/test_support.h"

namespace tarvo::markup_test {
namespace {

TEST(Lists, NestingAndClosing) {
    EXPECT_EQ(body("* a\n* b\n\n"), "<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n");
    EXPECT_EQ(body("* a\n** b\n* c"), "<ul>\n<li>a\n<ul>\n<li>b</li>\n</ul>\n</li>\n<li>c</li>\n</ul>\n");
    EXPECT_EQ(body("** x"), "<ul>\n<li>\n<ul>\n<li>x</li>\n</ul>\n</li>\n</ul>\n");
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
    EXPECT_EQ(body("* a\n: b"), "<ul>\n<li>a</li>\n</ul>\n<dl><dd>b</dd></dl>\n");
    EXPECT_EQ(body(": a\n* b"), "<dl><dd>a</dd>\n</dl><ul>\n<li>b</li>\n</ul>\n");
    EXPECT_EQ(body("# a\n## b\n#* c"), "<ol>\n<li>a\n<ol>\n<li>b</li>\n</ol>\n<ul>\n<li>c</li>\n</ul>\n</li>\n</ol>\n");
}

TEST(Lists, InterplayWithOtherBlocks) {
    EXPECT_EQ(body("para\n* a\ntext"), "<p>para</p>\n<ul>\n<li>a</li>\n</ul>\n<p>text</p>\n");
    EXPECT_EQ(body("* a\n<!-- c -->\n* b"), "<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n");
    EXPECT_EQ(body("* a\n code"), "<ul>\n<li>a</li>\n</ul>\n<pre>code</pre>\n");
    EXPECT_EQ(body("* a\n== h =="), "<ul>\n<li>a</li>\n</ul>\n<h2>h</h2>\n");
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

}  // namespace
}  // namespace tarvo::markup_test
