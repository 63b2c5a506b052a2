#include "diagram/diagram_block.h"
#include "diagram/diagram_test_support.h"

namespace tarvo {
namespace {

using Quickgv = testing_support::DiagramTest;

TEST_F(Quickgv, WorkedExampleThroughAPage) {
    EXPECT_EQ(convert("<quickgv name=\"flow\" usage=\"mindmap\" theme=\"warm\">\n"
                      "A -> B\n"
                      "A -> C\n"
                      "</quickgv>\n"),
              "<img src=\"flow.svg\"/>\n");
    EXPECT_EQ(dot("flow"),
              "digraph flow {\n"
              "graph [rankdir = LR,color = \"#804000\",bgcolor = \"#fffff7\",fontcolor = \"#000000\","
              "fontsize = 12, style = dashed, gradientangle = 65, layout = neato, start = \"A\"];\n"
              "node [shape = box, style = \"filled,rounded\",height = 0.3, fontsize = 10,"
              "color = \"#c07000\",fontcolor = \"#000000\",fillcolor = \"#ffffff:#ffffc0\",gradientangle = 295];\n"
              "edge [color = \"#704000\",fontcolor = \"#704000\",fontsize  = 10];\n"
              "A -> B\n"
              "A -> C\n"
              "\n"
              "}\n"
              "\n");

    // No attributes: the empty name, the last theme column, rounded boxes.
    EXPECT_EQ(convert("x <quickgv>a -> b</quickgv>\n"), "<p>x <img src=\".svg\"/></p>\n");
    EXPECT_EQ(dot(""),
              "digraph  {\n"
              "graph [rankdir = LR,color = \"#555555\",bgcolor = \"#f0f0f0:#ffffff\",fontcolor = \"#000000\","
              "fontsize = 12, style = dashed, gradientangle = 65];\n"
              "node [shape = box, style = \"filled,rounded\",height = 0.3, fontsize = 10,"
              "color = \"#aaaaaa\",fontcolor = \"#000000\",fillcolor = \"#ffffff:#e7e7e7\",gradientangle = 295];\n"
              "edge [color = \"#555555\",fontcolor = \"#000000\",fontsize  = 10];\n"
              "a -> b\n"
              "}\n"
              "\n");
}

std::string header(std::string_view usage, std::string_view theme) {
    std::string dot;
    writeQuickgvHeader(dot, "n", usage, theme);
    return dot;
}

TEST(QuickgvHeader, NamesDotWouldNotReadAreQuoted) {
    auto firstLine = [](std::string_view name) {
        std::string dot;
        writeQuickgvHeader(dot, name, "", "");
        return dot.substr(0, dot.find('\n'));
    };
    EXPECT_EQ(firstLine("flow_2"), "digraph flow_2 {");
    EXPECT_EQ(firstLine("-1.5"), "digraph -1.5 {");
    EXPECT_EQ(firstLine("net/x"), "digraph \"net/x\" {");
    EXPECT_EQ(firstLine("a-b"), "digraph \"a-b\" {");
    EXPECT_EQ(firstLine("Node"), "digraph \"Node\" {");
    EXPECT_EQ(firstLine("2x"), "digraph \"2x\" {");
}

TEST(QuickgvHeader, ThemesAndUsages) {
    EXPECT_EQ(header("er", "cold"),
              "digraph n {\n"
              "graph [rankdir = LR,color = \"#ffffff\",bgcolor = \"#000066\",fontcolor = \"#ffffff\","
              "fontsize = 12, style = dashed, gradientangle = 65];\n"
              "node [shape = record, style = filled, labelloc = l,height = 0.3, fontsize = 10,"
              "color = \"#ffffff\",fontcolor = \"#000000\",fillcolor = \"#ccffff:#00c0ff\",gradientangle = 295];\n"
              "edge [color = \"#ffffff\",fontcolor = \"#ffffff\",fontsize  = 10];\n");
    EXPECT_EQ(header("ram", "sakura"),
              "digraph n {\n"
              "graph [rankdir = LR,color = \"#ffffff\",bgcolor = \"#996677\",fontcolor = \"#ffffff\","
              "fontsize = 12, style = dashed, gradientangle = 65];\n"
              "node [shape = record, style = filled, labelloc = l,height = 0.3, fontsize = 10,"
              "color = \"#cc4444\",fontcolor = \"#000000\",fillcolor = \"#ffffff:#ffc0d0\",gradientangle = 295];\n"
              "edge [color = \"#ffffff\",fontcolor = \"#ffffff\",fontsize  = 10];\n");
    EXPECT_EQ(header("", "warm"),
              "digraph n {\n"
              "graph [rankdir = LR,color = \"#804000\",bgcolor = \"#fffff7\",fontcolor = \"#000000\","
              "fontsize = 12, style = dashed, gradientangle = 65];\n"
              "node [shape = box, style = \"filled,rounded\",height = 0.3, fontsize = 10,"
              "color = \"#c07000\",fontcolor = \"#000000\",fillcolor = \"#ffffff:#ffffc0\",gradientangle = 295];\n"
              "edge [color = \"#704000\",fontcolor = \"#704000\",fontsize  = 10];\n");
    // The mind map layout goes at the end of the graph line.
    std::string plain = header("", "cold");
    EXPECT_EQ(header("mindmap", "cold"), plain.insert(plain.find("];"), ", layout = neato, start = \"A\""));
    // Values are compared whole and with case: these fall to the defaults.
    for (auto [usage, theme] : {std::pair{"Mindmap", "Cold"}, {"mindmap ", " cold"}, {"ER", "sakuraX"}})
        EXPECT_EQ(header(usage, theme), header("", "")) << usage << theme;
}

}  // namespace
}  // namespace tarvo
