// The fast inline formatter against the plain in-place reference: the same
// lines from the same starting state must give the same text, the same bytes
// on the output stream and the same state.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "markup/reference_inline.h"

namespace tarvo::reference {
namespace {

using namespace std::string_literals;

// Every distinct starting state: emphasis, comment, raw mode and open block.
std::vector<StartState> allStartStates() {
    std::vector<StartState> states;
    for (int b = 0; b < 256; ++b) {
        if (((b >> 3) & 3) == 3 || (b >> 5) >= 5) continue;  // same as a smaller byte
        states.push_back(StartState::fromByte(static_cast<std::uint8_t>(b)));
    }
    return states;
}

class InlineDifferential : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-inline-diff-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        work_ = root_ + "/";
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    // Runs a sequence of lines (state carried) from a starting state; a
    // mismatch is reported in the shortest form found that still shows it.
    void check(const StartState& start, const std::vector<std::string>& lines, const RefOptions& options = {}) {
        std::string report = compareLines(work_, options, start, lines.data(), lines.size());
        if (report.empty()) return;
        ++mismatches_;
        if (reported_.size() >= kReported) return;
        const std::vector<std::string> minimal = shrinkLines(work_, options, start, lines);
        std::string key;
        for (const std::string& l : minimal) key += l + '\n';
        if (!reported_.insert(key).second) return;  // shown already, maybe from another state
        report = compareLines(work_, options, start, minimal.data(), minimal.size());
        ADD_FAILURE() << "fast formatter and reference differ\n" << report;
    }
    void expectNoMismatch() { EXPECT_EQ(mismatches_, 0) << "(at most " << kReported << " distinct ones are shown)"; }

    static constexpr std::size_t kReported = 12;
    int mismatches_ = 0;
    std::set<std::string> reported_;  // minimal mismatches shown
    std::string root_, work_;
};

const std::vector<std::string> kTrickyLines = {
    // emphasis
    "''a'' '''b''' '''''c'''''", "it's", "''''x''''", "'''''''", "'", "''", "a'''", "x'' y ''' z",
    // comments, nested and unclosed
    "a<!-- x -->b", "a<!--x", "y-->b", "y", "<!-- a --> <!-- b -->c", "<!-->x", "<!--->x-->y",
    "a<!--b<!--c-->d-->e", "--> x", "<!-- <pre> -->z", "<!--[[a]]-->b", "[[a|<!--]]x-->y ''b''",
    "[[a|<!--]] z", "x<!--", "<!-- ''a'' -->''b''",
    // nowiki in and out
    "<nowiki>''x'' <b></nowiki>", "<NoWiki/>x''y''", "<nowiki", "a<nowiki>b", "</nowiki>", "x</nowiki>y''z''",
    "</nowiki", "<nowiki>a<nowiki>b</nowiki>c", "<nowiki >[[a]]</nowiki >", "<nowikix>y", "</NOWIKI>''a''",
    "<nowiki>x", "a</nowiki>b<pre>c",
    // pre and source, opened and closed mid-line
    "<pre>a<b>c</pre>d", "text <source lang=\"c\">code", "<source>x</source>y", "<Source>x</Source>''a''",
    "<pre", "a <pre", "a <source x", "</pre>", "</source>", "</pre", "</source", "</SOURCE>", "a</pre>''b''",
    "x <pre>y</pre> ''z'' <pre>w", "<pre/>", "<prex>", "</pre >z", "</pre/>", "<pre>x<nowiki>y</nowiki>z",
    "<source lang=x>a</source lang>b", "a<pre>b<!--c-->d", "''a''<PRE >b", "<pre>>",
    // tags that pass through or are escaped
    "<b>", "<I>", "</u>", "<br/>", "<br />", "<div class=\"x\">", "</blockquote>", "<brx>", "<strong>", "<table>",
    "<", "a < b > c", "x & y", "<a href=\"http://x.y/''z''\">", "</", "</ ", "<//>", "<s>", "<span>", "<spanx>",
    "<tt/>", "</pre/>", "<b\0>"s, "<\0>"s, "a<b"s + '\0', "</p\0"s, "<img src=x>", "<delx>", "</DIV>",
    // internal links and images
    "[[Page]]", "[[My Page]]", "[[Page|Label]]", "[[Page.html]]", "[[Page # Part]]", "[[Page#Part| Label]]",
    "[[#Part]]", "[[]]", "[[Page|a#b]]", "[[a #|b]]", "[[a# |b]]", "[[Page", "[[[Page]]]", "[[Page|''big'' idea]]",
    "[[a|[[b]]]]", "[[a|[[b|[[c]]]]]]", "[[a|[[b|[[c|[[d]]]]]]]]", "[[a|x [[y]] z]] [[w]]", "[[x]][[y]]",
    "[[a|http://x y]]", "[[a|<pre>x]]", "[[ file:Cat.png ]]", "[[file:Cat.png]]",
    "[[File:Cat.png|left|200px|A cat]]", "[[file:Cat.png|200x100px]]", "[[file:Cat.png|200 x 100 PX]]",
    "[[file:Cat.png|x100px|200px]]", "[[file:Cat.png|200]]", "[[file:Cat.png|px]]", "[[file:Cat.png|20x30x40px]]",
    "[[file: Cat.png ]]", "[[Image:Cat.png]]", "[[file:a.png]]''x''[[b]]", "[[file:a|99999999999px]]",
    "[[file:a|0px|x0px]]", "[[file:a|| |TOP|7 px]]", "[[filex:a]]", "[[file]]", "[[a.HTML#b]]", "[[a]]b]]",
    "[[a|b|c]]", "[[\ta\t|\tb]]", "[[a|[[b|]]]]", "[[''a''|b]]", "[[a|</a>]]", "[[a|[[b|[[c|[[d|[[e]]]]]]]]]] f",
    // bare and bracketed URLs
    "see http://a.b/c. next", "http://a\tb c", "[http://a.b text here]", "[http://a.b]", "[http://a.b] more]",
    "[http://a]b c]", "httpx", "http:/", "HTTPS://X", "[https://a b", "xhttp://a", "[[http://a]]",
    "[http://a ''b'']", "<b title=\"http://a\">", "http://", "[http:// ]", "[httpx://a b]", "[HtTp://a  b ]c",
    "hhttp://x", "[[a|[http://b c]]]",
    // diagram openings mid-line
    "a <graphviz name=\"g\">digraph{a->b}</graphviz> b", "x<graphviz name=\"g\">", "<graphviz>",
    "<quickgv name=\"q\" theme=\"warm\">a->b</quickgv>''i''", "<graphviz", "<graphviz name=\"g\"", "<Graphviz>",
    "<graphvizx>", "<graphviz\t>", "a<graphviz name=\"''n''\">x</graphviz>", "<graphviz name=\"[[l]]\">",
    "<graphviz>a</graphviz><graphviz name=\"h\">b", "</graphviz>", "<quickgv usage=\"mindmap\">x</quickgv>",
    "[[a|<graphviz name=\"g\">b]]c</graphviz>d", "<nowiki><graphviz>x</graphviz>",
    "<graphviz name=\"h\">x</graphviz>http://u",
};

TEST_F(InlineDifferential, TrickyLinesAgreeFromEveryStartingState) {
    const RefOptions plain;
    // Prefixes holding markup: a diagram's image element is scanned again.
    const RefOptions prefixed{"[[p/", "''x'' http://g/"};
    for (const StartState& start : allStartStates())
        for (const std::string& line : kTrickyLines) {
            check(start, {line}, plain);
            check(start, {line}, prefixed);
        }
    expectNoMismatch();
}

TEST_F(InlineDifferential, StateRunsOnFromLineToLine) {
    const std::vector<std::vector<std::string>> sequences = {
        {"''open", "close''"},
        {"a<!--x", "y-->b", "c"},
        {"<nowiki>a", "''b''", "c</nowiki>''d''"},
        {"p <pre>x", "<b>y", "</source>z ''w''"},
        {"<graphviz name=\"g\">a", "b</graphviz>c"},
        {"[[a|[[b", "]]]]"},
        {"<source x", "y>''z''", "</pre>"},
    };
    for (const StartState& start : allStartStates())
        for (const auto& lines : sequences) check(start, lines);
    expectNoMismatch();
}

// Lines put together from the tokens that start or end a construct.
TEST_F(InlineDifferential, RandomLinesAgree) {
    static const char* const kTokens[] = {
        "'",        "''",        "'''",       "<",         ">",         "<!--",     "-->",       "<nowiki>",
        "</nowiki>", "<pre>",    "</pre>",    "<source>",  "</source>", "[[",       "]]",        "[",
        "]",        "|",         "#",         "http://",   "https://a", " ",        "file:",     "x",
        "<b>",      "</pre",     "<graphviz name=\"g\">", "</graphviz>", "<quickgv name=\"q\">", "</quickgv>",
        "<pre",     "<source ",  "</source",  "<nowiki",   "</nowiki",  "h",        "H",         "px",
        "200",      "\t",        "-",         "<br/>",     "</a>",      ".html",    "<span ",    "/",
        "\"",       "<graphviz", "HTTP://",   "<!",        "--",        "<NOWIKI>", "<SOURCE>",  "s",
        "x100px",   "<pre >",    "]]]",       "[[[",       "<a>",       "File:",    "<Pre>",     "</PRE>",
        "[[a|",     "[[a|[[b|",  "]]]]",      "<!--x-->",  "[http://a b]",
    };
    constexpr std::size_t kTokenCount = sizeof(kTokens) / sizeof(kTokens[0]);
    const std::vector<StartState> states = allStartStates();
    const RefOptions options[] = {{}, {"img/", "gen/"}};
    std::mt19937 random(20240611);
    auto line = [&] {
        std::string l;
        for (std::uint32_t n = 1 + random() % 24; n > 0; --n) l += kTokens[random() % kTokenCount];
        return l;
    };
    for (int i = 0; i < 40000; ++i) {
        const StartState& start = states[random() % states.size()];
        const RefOptions& opt = options[random() % 2];
        if (i % 4 == 0) check(start, {line(), line(), line()}, opt);
        else check(start, {line()}, opt);
    }
    expectNoMismatch();
}

// The reference itself on examples whose translation is known, so that an
// agreement of both sides means an agreement on the right output.
TEST(InlineReference, TranslatesKnownExamples) {
    auto fmt = [](std::string text, RefState st = {}, RefOptions opt = {}) {
        std::string out;
        formatInlineReference(st, opt, out, text);
        return out.empty() ? text : out + "|" + text;
    };
    EXPECT_EQ(fmt("''a'' '''b''' '''''c'''''"), "<i>a</i> <b>b</b> <b><i>c</b></i>");
    EXPECT_EQ(fmt("''''x''''"), "<b>'x</b>'");
    EXPECT_EQ(fmt("<!-- a --> <!-- b -->c"), " c");
    EXPECT_EQ(fmt("a < b > c <b> <brx> x & y"), "a &lt; b > c <b> &lt;brx> x & y");
    EXPECT_EQ(fmt("<nowiki>''x'' <b></nowiki>"), "''x'' &lt;b&gt;");
    RefState inPre;
    inPre.rawMode = RawMode::PreBlock;
    inPre.blockMode = BlockMode::PreTag;
    EXPECT_EQ(fmt("<b>x</source>''y''", inPre), "&lt;b&gt;x</pre><i>y</i>");
    RefState paragraph;
    paragraph.blockMode = BlockMode::Paragraph;
    EXPECT_EQ(fmt("text <source lang=\"c\">code", paragraph), "text </p>\n|<pre lang=\"c\">code");
    EXPECT_EQ(fmt("[[Page # Part]] [[Page#Part| Label]] [[]]"),
              "<a href=\"Page.html#Part\">Page#Part</a> <a href=\"Page.html#Part\">Label</a> <a href=\".html\"></a>");
    EXPECT_EQ(fmt("[[Page|''big'' #1]]"), "<a href=\"Page.html\"><i>big</i> #1</a>");
    EXPECT_EQ(fmt("[[File:C.png|left|200 x 100 PX|A cat]][[file:D|20x30x40px]]", {}, {"img/", ""}),
              "<img src=\"img/C.png\" width=\"200\" height=\"100\"/><img src=\"img/D\"/>");
    EXPECT_EQ(fmt("[[[P]]] [[P"), "[<a href=\"P.html\">P</a>] [[P");
    EXPECT_EQ(fmt("[http://a]b c] x [http://d e"),
              "<a class=\"extlink\" href=\"http://a]b\" target=\"_blank\">c</a> x "
              "[<a class=\"extlink\" href=\"http://d\" target=\"_blank\">http://d</a> e");
    // A link found in the label of a link found in a label is not a link.
    EXPECT_EQ(fmt("[[a|[[b|[[c]]]]]]"),
              "<a href=\"a.html\"><a href=\"b.html\">[[c</a></a>]]");
    RefState st;
    EXPECT_EQ(fmt("a<graphviz name=\"g\">x</graphviz>b", st, {"", "p/"}), "a<img src=\"p/g.svg\"/>b");
}

}  // namespace
}  // namespace tarvo::reference
