// The header of a quickgv block: the digraph line and the graph, node and edge
// defaults, coloured by one of four themes and shaped by the block's usage.
#include "diagram/quickgv.h"

#include <initializer_list>
#include <string>
#include <utility>

#include "text/ascii.h"

namespace tarvo {

namespace {

struct QuickgvTheme {
    std::string_view graphColor;
    std::string_view graphBgColor;
    std::string_view graphFontColor;
    std::string_view nodeColor;
    std::string_view nodeFontColor;
    std::string_view nodeFillColor;
    std::string_view edgeColor;
    std::string_view edgeFontColor;
};

constexpr QuickgvTheme kCold{"\"#ffffff\",", "\"#000066\",", "\"#ffffff\",", "\"#ffffff\",",
                             "\"#000000\",", "\"#ccffff:#00c0ff\",", "\"#ffffff\",", "\"#ffffff\","};
constexpr QuickgvTheme kWarm{"\"#804000\",", "\"#fffff7\",", "\"#000000\",", "\"#c07000\",",
                             "\"#000000\",", "\"#ffffff:#ffffc0\",", "\"#704000\",", "\"#704000\","};
constexpr QuickgvTheme kSakura{"\"#ffffff\",", "\"#996677\",", "\"#ffffff\",", "\"#cc4444\",",
                               "\"#000000\",", "\"#ffffff:#ffc0d0\",", "\"#ffffff\",", "\"#ffffff\","};
constexpr QuickgvTheme kPlain{"\"#555555\",", "\"#f0f0f0:#ffffff\",", "\"#000000\",", "\"#aaaaaa\",",
                              "\"#000000\",", "\"#ffffff:#e7e7e7\",", "\"#555555\",", "\"#000000\","};

const QuickgvTheme& themeFor(std::string_view name) {
    if (name == "cold") return kCold;
    if (name == "warm") return kWarm;
    if (name == "sakura") return kSakura;
    return kPlain;
}

bool isKeyword(std::string_view name) {
    static constexpr std::string_view kKeywords[] = {"graph", "digraph", "subgraph", "node", "edge", "strict"};
    for (std::string_view k : kKeywords)
        if (equalsNoCase(name, k)) return true;
    return false;
}

// Appends "name = value" for each pair; the theme's values carry their comma.
void appendColors(std::string& dot, std::initializer_list<std::pair<std::string_view, std::string_view>> colors) {
    for (const auto& [name, value] : colors) {
        dot += name;
        dot += " = ";
        dot += value;
    }
}

// A name DOT reads as a graph name as it stands: a letter, "_" or non-ASCII
// byte followed by those or digits, or a number; not a keyword.
bool isPlainId(std::string_view name) {
    auto letter = [](unsigned char c) { return c == '_' || c >= 0x80 || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); };
    auto digit = [](unsigned char c) { return c >= '0' && c <= '9'; };
    if (name.empty()) return true;
    if (letter(static_cast<unsigned char>(name[0]))) {
        for (unsigned char c : name)
            if (!letter(c) && !digit(c)) return false;
        return !isKeyword(name);
    }
    std::size_t i = name[0] == '-' ? 1 : 0;
    std::size_t digits = 0, dots = 0;
    for (; i < name.size(); ++i) {
        if (digit(static_cast<unsigned char>(name[i]))) ++digits;
        else if (name[i] == '.' && ++dots == 1) continue;
        else return false;
    }
    return digits > 0;
}

}  // namespace

void writeQuickgvHeader(std::string& dot, std::string_view name, std::string_view usage,
                        std::string_view themeName) {
    const QuickgvTheme& theme = themeFor(themeName);
    const bool mindmap = usage == "mindmap";
    const bool record = usage == "er" || usage == "ram";

    // The block's name is the graph's name. One that DOT would not read as a
    // name (a path such as net/x, a word with "-") is written as a quoted
    // string, so that the file stays a valid graph.
    dot += "digraph ";
    if (isPlainId(name)) {
        dot += name;
    } else {
        dot += '"';
        dot += name;
        dot += '"';
    }
    dot += " {\n";

    dot += "graph [rankdir = LR,";
    appendColors(dot, {{"color", theme.graphColor}, {"bgcolor", theme.graphBgColor}, {"fontcolor", theme.graphFontColor}});
    dot += "fontsize = 12, style = dashed, gradientangle = 65";
    if (mindmap) dot += ", layout = neato, start = \"A\"";
    dot += "];\n";

    dot += "node [";
    dot += record ? "shape = record, style = filled, labelloc = l," : "shape = box, style = \"filled,rounded\",";
    dot += "height = 0.3, fontsize = 10,";
    appendColors(dot, {{"color", theme.nodeColor}, {"fontcolor", theme.nodeFontColor}, {"fillcolor", theme.nodeFillColor}});
    dot += "gradientangle = 295];\n";

    dot += "edge [";
    appendColors(dot, {{"color", theme.edgeColor}, {"fontcolor", theme.edgeFontColor}});
    dot += "fontsize  = 10];\n";
}

}  // namespace tarvo
