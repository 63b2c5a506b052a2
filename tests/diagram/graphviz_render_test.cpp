// Every kind of DOT file the converter writes must be accepted by Graphviz
// without a complaint. The check needs the "dot" program (Debian package
// "graphviz"); without it the test fails rather than being skipped.
#include <cstdlib>

#include "diagram/diagram_test_support.h"

namespace tarvo {
namespace {

using GraphvizRender = testing_support::DiagramTest;

TEST_F(GraphvizRender, DotAcceptsEveryThemeUsageAndBlockKind) {
    ASSERT_EQ(std::system("command -v dot >/dev/null 2>&1"), 0)
        << "Graphviz \"dot\" is not on PATH: install the graphviz package";

    std::string page;
    for (const char* theme : {"cold", "warm", "sakura", ""}) {
        for (const char* usage : {"mindmap", "er", "ram", ""}) {
            const bool record = std::string_view(usage) == "er" || std::string_view(usage) == "ram";
            page += std::string("<quickgv name=\"q_") + theme + "_" + usage + "\" usage=\"" + usage +
                    "\" theme=\"" + theme + "\">\n";
            page += record ? "User [label = \"{User|id\\lname\\l}\"]\n"
                             "Order [label = \"{Order|id\\luser\\l}\"]\n"
                             "User -> Order [label = \"1:n\"]\n"
                           : "A -> B\nA -> C [label = \"x\"]\n  B -> D\n";
            page += "</quickgv>\n";
        }
    }
    page += "<quickgv name=\"flow\" usage=\"mindmap\" theme=\"warm\">\nA -> B\nA -> C\n</quickgv>\n";
    page += "Text <quickgv name=\"inline\">\nA -> B</quickgv> more\n";
    // Names DOT would not read as graph names are quoted.
    for (const char* name : {"dash-name", "node", "two words"})
        page += std::string("<quickgv name=\"") + name + "\">\nA -> B\n</quickgv>\n";
    page += "<graphviz name=\"plain\">\ngraph g {\n  a -- b;\n  b -- c [color = red];\n}\n</graphviz>\n";
    convert(page);

    const auto entries = workEntries();
    ASSERT_EQ(entries.size(), 16u + 3u + 3u);
    for (const std::string& entry : entries) {
        const std::string dotPath = work + entry;
        const std::string err = dotPath + ".err";
        const std::string command =
            "dot -Tsvg '" + dotPath + "' -o '" + dotPath + ".svg' 2>'" + err + "'";
        const int status = std::system(command.c_str());
        EXPECT_EQ(status, 0) << entry << ":\n" << readFile(dotPath) << readFile(err);
        EXPECT_EQ(readFile(err), "") << entry << ":\n" << readFile(dotPath);
        EXPECT_NE(readFile(dotPath + ".svg").find("<svg"), std::string::npos) << entry;
    }
}

}  // namespace
}  // namespace tarvo
