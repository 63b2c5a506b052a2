#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <tuple>

#include "diagram/diagram_block.h"
#include "test_support.h"

namespace tarvo::test {
namespace {

using DiagramBlock = WorkDirTest;
using Quickgv = WorkDirTest;
using GraphvizRender = WorkDirTest;

// Gives the file an old time and returns it, so that a rewrite shows.
fs::file_time_type makeOld(const std::string& path) {
    const fs::file_time_type old = fs::last_write_time(path) - std::chrono::hours(24 * 365);
    fs::last_write_time(path, old);
    return old;
}

TEST_F(DiagramBlock, OneLineBlocksAtLineStartAndInsideALine) {
    ctx.options.testMode = true;  // DOT files are stored in test mode as well
    EXPECT_EQ(convert("<graphviz name=\"g1\">digraph { a -> b }</graphviz>\n"), "<img src=\"g1.svg\"/>\n");
    EXPECT_EQ(dot("g1"), "digraph { a -> b }\n\n");

    // After an opening at line start the rest is written as it stands; inside
    // a line the translation goes on through it.
    ctx.options.genPrefix = "img/";
    EXPECT_EQ(convert("<graphviz>x</graphviz> tail ''b'' <i>\n"
                      "Before <graphviz name=\"m\">y</graphviz> ''it'' <graphvizx>\n"),
              "<img src=\"img/.svg\"/> tail ''b'' <i>\n"
              "<p>Before <img src=\"img/m.svg\"/> <i>it</i> &lt;graphvizx></p>\n");
    EXPECT_EQ(dot(""), "x\n\n");
    EXPECT_EQ(dot("m"), "y\n\n");
}

TEST_F(DiagramBlock, MultiLineBlocksAndTheBlankLinesTheyLeave) {
    // Lines taken whole by the capture close the paragraph, list or indented
    // block like blank lines; text after a closing tag is classified as usual.
    EXPECT_EQ(convert("Para one\n<graphviz name=\"ml\">\ndigraph {\n  a -> b  \t\n}\n</graphviz>== After ==\n"
                      "* item <graphviz name=\"li\">\nx -> y\n</graphviz>\n"
                      " pre <quickgv name=\"q\" theme=\"cold\">\nA -> B\n</quickgv> tail\n"),
              "<p>Para one<img src=\"ml.svg\"/>\n</p>\n<h2>After</h2>\n"
              "<ul>\n<li>item <img src=\"li.svg\"/></li>\n</ul>\n"
              "\n<pre>pre <img src=\"q.svg\"/></pre>\n\n<pre>tail</pre>\n");
    EXPECT_EQ(dot("ml"), "digraph {\n  a -> b\n}\n\n\n");
    // An opening at the end of a line starts the DOT text with an empty line.
    EXPECT_EQ(dot("li"), "\nx -> y\n\n\n");
    const std::string q = dot("q");
    EXPECT_TRUE(q.starts_with("digraph q {") && q.ends_with("\nA -> B\n\n}\n\n")) << q;
}

TEST_F(DiagramBlock, TextsThatDoNotOpenOrCloseABlock) {
    EXPECT_EQ(convert("<graphvizx>a</graphviz>\n<Graphviz>b\n<graphviz\tname=\"t\">c\n<graphviz name=\"n\" no end\n"
                      "x <quickgv\tname=\"u\"> <quickgv name=\"v\"\n</quickgv>\n"
                      "<nowiki><graphviz name=\"k\">k</graphviz></nowiki>\n"
                      "<pre>\n<graphviz name=\"p\">p</graphviz>\n</pre>\n"),
              "<p>&lt;graphvizx>a&lt;/graphviz>\n&lt;Graphviz>b\n&lt;graphviz\tname=\"t\">c\n"
              "&lt;graphviz name=\"n\" no end\nx &lt;quickgv\tname=\"u\"> &lt;quickgv name=\"v\"\n&lt;/quickgv>\n"
              "&lt;graphviz name=\"k\"&gt;k&lt;/graphviz&gt;</p>\n"
              "<pre>\n&lt;graphviz name=\"p\"&gt;p&lt;/graphviz&gt;\n</pre>");
    EXPECT_TRUE(workEntries().empty());
}

TEST_F(DiagramBlock, NamesFromTheNameAttribute) {
    ctx.options.genPrefix = "img/";
    fs::create_directory(work + "net");
    // The opening's attributes, the name they give, the DOT file's name: a
    // malformed name gives "?" there.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"name = \"a\"", "", ""}, {"name='s'", "", ""}, {"filename=\"x\" name=\"y\"", "x", "x"},
        {"name=\"net/x\"", "net/x", "net/x"}, {"name=\"a..b\"", "a..b", "a..b"}, {"name=\"\xff\"", "\xff", "?"}};
    for (const auto& [attributes, name, file] : cases) {
        std::string console;
        EXPECT_EQ(convert("<graphviz " + attributes + ">" + attributes + "</graphviz>\n", &console),
                  "<img src=\"img/" + name + ".svg\"/>\n");
        EXPECT_EQ(console, "");
        EXPECT_EQ(dot(file), attributes + "\n\n");
    }
    EXPECT_EQ(workEntries(), (std::set<std::string>{".dot", "x.dot", "net", "net/x.dot", "a..b.dot", "?.dot"}));
}

TEST_F(DiagramBlock, NamesThatLeaveTheWorkDirectoryOrCannotBeCreated) {
    // Reported, never written, and the conversion goes on.
    fs::create_directory(work + "d.dot");
    std::string page, images, messages, console;
    for (const char* name : {"/abs", "\\abs", "../up", "a/../../up", "..\\up", "..", "nodir/x", "d"}) {
        page += "<graphviz name=\"" + std::string(name) + "\">1</graphviz>\n";
        images += "<img src=\"" + std::string(name) + ".svg\"/>\n";
        messages += "Can't create " + work + name + ".dot";
    }
    EXPECT_EQ(convert(page + "after\n", &console), images + "<p>after</p>\n");
    EXPECT_EQ(console, messages + " (it is a folder)");
    EXPECT_EQ(workEntries(), (std::set<std::string>{"d.dot"}));
    EXPECT_FALSE(fs::exists(tmp.dir + "up.dot"));
    EXPECT_FALSE(fs::exists("/abs.dot"));
}

TEST_F(DiagramBlock, UnchangedFilesAreLeftUntouchedOthersReplaced) {
    const std::string path = work + "g.dot";
    const std::string block = "<graphviz name=\"g\">\nA\n B\n</graphviz>\n";
    const std::string text = "A\n B\n\n\n";
    // True when the stored file was left alone: same file, same time.
    auto keptOver = [&](std::string_view stored) {
        writeFile(path, stored);
        const fs::file_time_type old = makeOld(path);
        const platform::FileIdentity before = platform::identify(widen(path));
        convert(block);
        return fs::last_write_time(path) == old && platform::identify(widen(path)) == before;
    };
    EXPECT_TRUE(keptOver(text));
    EXPECT_TRUE(keptOver("A\r\n B\r\n\r\n\r"));  // the reader's line ends and nothing else
    EXPECT_TRUE(keptOver("\xef\xbb\xbf" + text));
    for (std::string_view differs : {"A\n B\n\n", "A\n B\nx\n\n", "", "A\n B\n\n\nC", "A\n B\n\n\n\n"}) {
        EXPECT_FALSE(keptOver(differs)) << differs;
        EXPECT_EQ(dot("g"), text) << differs;
    }

    // Sizes at the reader's 1024-byte window: one line of 1022 or 2046 bytes
    // is stored in 1024 or 2048 bytes.
    const std::string bigPath = work + "big.dot";
    for (std::size_t size : {1022u, 2046u}) {
        const std::string line(size, 'x'), big = "<graphviz name=\"big\">" + line + "</graphviz>\n";
        convert(big);
        ASSERT_EQ(fs::file_size(bigPath), size + 2);
        const fs::file_time_type old = makeOld(bigPath);
        convert(big);
        EXPECT_EQ(fs::last_write_time(bigPath), old) << size;
        // Without the final empty line, as long with another last line, one line too many.
        for (const std::string& differs : {line + "\n", line + "\nx", line + "\n\n\n"}) {
            writeFile(bigPath, differs);
            convert(big);
            EXPECT_EQ(readFile(bigPath), line + "\n\n") << size;
        }
    }

    // A FIFO in the file's place is neither read nor replaced. (The test
    // holds it open, so that no open of it blocks.)
    fs::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    const int fifo = open(path.c_str(), O_RDWR | O_NONBLOCK);
    std::string console;
    convert(block, &console);
    close(fifo);
    EXPECT_TRUE(fs::is_fifo(path));
    EXPECT_EQ(console, "Can't create " + path + " (it is not a regular file)");
    EXPECT_EQ(workEntries(), (std::set<std::string>{"g.dot", "big.dot"}));  // no temporary left
}

TEST_F(DiagramBlock, ABlockLeftOpenStoresNothingAndTheNextPageStartsClosed) {
    EXPECT_EQ(convert("Text\n<graphviz name=\"open\">\na -> b\n"), "<p>Text<img src=\"open.svg\"/>\n</p>\n");
    EXPECT_EQ(convert("next\n</graphviz>\n"), "<p>next\n&lt;/graphviz></p>\n");
    EXPECT_EQ(convert("<quickgv name=\"open\">A -> B\n"), "<img src=\"open.svg\"/>\n");
    EXPECT_TRUE(workEntries().empty());
    // The next opening starts from an empty text.
    convert("<graphviz name=\"open\">c</graphviz>\n");
    EXPECT_EQ(dot("open"), "c\n\n");
}

TEST_F(Quickgv, WorkedExampleAndNoAttributesThroughAPage) {
    EXPECT_EQ(convert("<quickgv name=\"flow\" usage=\"mindmap\" theme=\"warm\">\nA -> B\nA -> C\n</quickgv>\n"),
              "<img src=\"flow.svg\"/>\n");
    EXPECT_EQ(dot("flow"),
              "digraph flow {\n"
              "graph [rankdir = LR,color = \"#804000\",bgcolor = \"#fffff7\",fontcolor = \"#000000\","
              "fontsize = 12, style = dashed, gradientangle = 65, layout = neato, start = \"A\"];\n"
              "node [shape = box, style = \"filled,rounded\",height = 0.3, fontsize = 10,"
              "color = \"#c07000\",fontcolor = \"#000000\",fillcolor = \"#ffffff:#ffffc0\",gradientangle = 295];\n"
              "edge [color = \"#704000\",fontcolor = \"#704000\",fontsize  = 10];\n"
              "A -> B\nA -> C\n\n}\n\n");

    // No attributes: the empty name, the plain theme.
    EXPECT_EQ(convert("x <quickgv>a -> b</quickgv>\n"), "<p>x <img src=\".svg\"/></p>\n");
    std::string plain;
    writeQuickgvHeader(plain, "", "", "");
    EXPECT_EQ(dot(""), plain + "a -> b\n}\n\n");
}

TEST(QuickgvHeader, NamesUsagesAndThemes) {
    auto header = [](std::string_view name, std::string_view usage, std::string_view theme) {
        std::string dot;
        writeQuickgvHeader(dot, name, usage, theme);
        return dot;
    };
    // Names DOT would not read as graph names are quoted.
    for (auto [name, first] : {std::pair{"", "digraph  {"}, {"flow_2", "digraph flow_2 {"}, {"-1.5", "digraph -1.5 {"},
                               {"net/x", "digraph \"net/x\" {"}, {"a-b", "digraph \"a-b\" {"},
                               {"Node", "digraph \"Node\" {"}, {"2x", "digraph \"2x\" {"}})
        EXPECT_TRUE(header(name, "", "").starts_with(std::string(first) + "\n")) << name;

    // Record usages change the node shape only (the mind map: the worked example).
    const std::string cold = header("n", "", "cold"), box = "shape = box, style = \"filled,rounded\",";
    std::string record = cold;
    record.replace(record.find(box), box.size(), "shape = record, style = filled, labelloc = l,");
    EXPECT_EQ(header("n", "er", "cold"), record);
    EXPECT_EQ(header("n", "ram", "cold"), record);
    // Each theme has its colours; values are compared whole and with case,
    // others fall to the defaults.
    EXPECT_NE(cold.find("bgcolor = \"#000066\""), std::string::npos);
    EXPECT_NE(header("n", "", "sakura").find("bgcolor = \"#996677\""), std::string::npos);
    for (auto [usage, theme] : {std::pair{"Mindmap", "Cold"}, {"mindmap ", " cold"}, {"ER", "sakuraX"}})
        EXPECT_EQ(header("n", usage, theme), header("n", "", "")) << usage << theme;
}

// Every kind of DOT file the converter writes must be accepted by Graphviz
// without a complaint. The check needs the "dot" program (Debian package
// "graphviz"); without it the test fails rather than being skipped.
TEST_F(GraphvizRender, DotAcceptsEveryThemeUsageAndBlockKind) {
    ASSERT_EQ(std::system("command -v dot >/dev/null 2>&1"), 0)
        << "Graphviz \"dot\" is not on PATH: install the graphviz package";

    std::string page;
    for (const char* theme : {"cold", "warm", "sakura", ""}) {
        for (const char* usage : {"mindmap", "er", "ram", ""}) {
            page += std::string("<quickgv name=\"q_") + theme + "_" + usage + "\" usage=\"" + usage +
                    "\" theme=\"" + theme + "\">\n";
            page += usage[0] == 'e' || usage[0] == 'r' ? "User [label = \"{User|id\\lname\\l}\"]\n"
                             "Order [label = \"{Order|id\\luser\\l}\"]\n"
                             "User -> Order [label = \"1:n\"]\n"
                           : "A -> B\nA -> C [label = \"x\"]\n  B -> D\n";
            page += "</quickgv>\n";
        }
    }
    page += "Text <quickgv name=\"inline\">\nA -> B</quickgv> more\n";
    // Names DOT would not read as graph names are quoted.
    for (const char* name : {"dash-name", "node", "two words"})
        page += std::string("<quickgv name=\"") + name + "\">\nA -> B\n</quickgv>\n";
    page += "<graphviz name=\"plain\">\ngraph g {\n  a -- b;\n  b -- c [color = red];\n}\n</graphviz>\n";
    convert(page);

    const auto entries = workEntries();
    ASSERT_EQ(entries.size(), 16u + 2u + 3u);
    for (const std::string& entry : entries) {
        const std::string path = work + entry;
        EXPECT_EQ(std::system(("dot -Tsvg '" + path + "' -o '" + path + ".svg' 2>'" + path + ".err'").c_str()), 0)
            << entry << ":\n" << readFile(path) << readFile(path + ".err");
        EXPECT_EQ(readFile(path + ".err"), "") << entry << ":\n" << readFile(path);
        EXPECT_NE(readFile(path + ".svg").find("<svg"), std::string::npos) << entry;
    }
}

}  // namespace
}  // namespace tarvo::test
