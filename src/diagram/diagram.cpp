// Capture of graphviz and quickgv blocks and the image that replaces them in
// the page.
#include "diagram/diagram.h"

#include "diagram/quickgv.h"

namespace tarvo {

namespace {

constexpr std::string_view kGraphviz = "<graphviz";
constexpr std::string_view kQuickgv = "<quickgv";
// The pictures an outside DOT tool makes from the DOT files.
constexpr std::string_view kImageExtension = ".svg";

bool followedBySeparator(std::string_view text, std::size_t at) {
    return at < text.size() && (text[at] == ' ' || text[at] == '>');
}

}  // namespace

std::size_t diagramTagNameLength(std::string_view text) {
    if (text.substr(0, kGraphviz.size()) == kGraphviz && followedBySeparator(text, kGraphviz.size()))
        return kGraphviz.size();
    if (text.substr(0, kQuickgv.size()) == kQuickgv && followedBySeparator(text, kQuickgv.size()))
        return kQuickgv.size();
    return 0;
}

std::string attributeValue(std::string_view attributes, std::string_view name) {
    std::string key(name);
    key += "=\"";
    std::size_t at = attributes.find(key);
    if (at == std::string_view::npos) return std::string();
    std::size_t start = at + key.size();
    std::size_t end = attributes.find('"', start);
    if (end == std::string_view::npos) return std::string();
    return std::string(attributes.substr(start, end - start));
}

void openDiagram(DiagramContext& ctx, std::string_view tag) {
    const std::size_t nameLength = diagramTagNameLength(tag);
    const std::string_view attributes = tag.substr(nameLength, tag.size() - 1 - nameLength);
    const bool quickgv = nameLength == kQuickgv.size();
    ctx.diagramOpen = true;
    ctx.closingTag = quickgv ? "</quickgv>" : "</graphviz>";
    ctx.quickgvMode = quickgv;
    ctx.diagramName = attributeValue(attributes, "name");
    ctx.dotText.clear();
    if (quickgv)
        writeQuickgvHeader(ctx.dotText, ctx.diagramName, attributeValue(attributes, "usage"),
                           attributeValue(attributes, "theme"));
}

std::size_t captureDiagramText(DiagramContext& ctx, std::string_view text, DiagramSink& closed) {
    const std::size_t close = text.find(ctx.closingTag);
    if (close == std::string_view::npos) {
        ctx.dotText.append(text);
        ctx.dotText.push_back('\n');
        return text.size();
    }
    ctx.dotText.append(text.substr(0, close));
    ctx.dotText.push_back('\n');
    ctx.diagramOpen = false;
    if (ctx.quickgvMode) ctx.dotText.append("}\n");
    closed.diagramClosed(ctx.diagramName, ctx.dotText);
    return close + ctx.closingTag.size();
}

std::string pictureName(std::string_view genPrefix, std::string_view diagramName) {
    std::string name(genPrefix);
    name += diagramName;
    name += kImageExtension;
    return name;
}

std::string diagramImage(const DiagramContext& ctx, std::string_view genPrefix) {
    return "<img src=\"" + pictureName(genPrefix, ctx.diagramName) + "\"/>";
}

}  // namespace tarvo
