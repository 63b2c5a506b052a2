// Capture of graphviz and quickgv blocks, the image that replaces them in the
// page, and the storing of their DOT files.
#include "diagram/diagram.h"

#include <optional>

#include "diagram/quickgv.h"
#include "io/wiki_in_stream.h"

namespace tarvo {

namespace {

constexpr std::string_view kGraphviz = "<graphviz";
constexpr std::string_view kQuickgv = "<quickgv";
// The pictures an outside DOT tool makes from the DOT files.
constexpr std::string_view kImageExtension = ".svg";

bool followedBySeparator(std::string_view text, std::size_t at) {
    return at < text.size() && (text[at] == ' ' || text[at] == '>');
}

// The stored file holds exactly the lines of the DOT text followed by one
// empty line.
bool storedFileMatches(WikiInStream& stored, MemoryText& dot) {
    dot.rewind();
    std::string storedLine;
    for (;;) {
        if (dot.eof) return !stored.readLine(storedLine);
        if (!stored.readLine(storedLine) || storedLine != readTextLine(dot)) return false;
    }
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

namespace {

// Why the DOT file may not be written at path, as the bracket after "Can't
// create" (possibly empty); nullopt when it may. Besides what no write of the
// run may replace, it must lie inside the work folder, also when its folders
// are links.
std::optional<std::string> refusal(const DiagramContext& ctx, const WString& name, const WString& path) {
    if (platform::escapesDirectory(name) || !platform::liesWithin(path, platform::folderPart(ctx.options.workDir)))
        return "";
    return refusalToWrite(platform::currentFolder(), path, ctx.kept);
}

// Stores the DOT text under workDir + name + ".dot", unless the stored file
// already holds it.
void storeDotFile(DiagramContext& d) {
    WString name;
    appendUtf8AsUtf16(name, static_cast<long>(d.diagramName.size()), d.diagramName.c_str());
    const WString path = d.options.workDir + name + u".dot";
    if (const auto why = refusal(d, name, path)) {
        platform::writeOut("Can't create " + platform::toUtf8Bytes(path) + *why);
        d.writeFailed = true;
        return;
    }
    {
        WikiInStream stored;
        stored.open(path);
        if (stored.good() && storedFileMatches(stored, d.dotText)) return;
    }
    platform::ReplaceFile file;
    if (!file.create(path)) {
        platform::writeOut("Can't create " + platform::toUtf8Bytes(path));
        d.writeFailed = true;
        return;
    }
    // The file holds the DOT text and one more line end.
    if (!(file.write(d.dotText.data) && file.write("\n") && file.commit())) {
        platform::writeOut("Can't write " + platform::toUtf8Bytes(path));
        d.writeFailed = true;
    }
}

}  // namespace

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
        writeQuickgvHeader(ctx.dotText.data, ctx.diagramName, attributeValue(attributes, "usage"),
                           attributeValue(attributes, "theme"));
}

std::size_t captureDiagramText(DiagramContext& ctx, std::string_view text) {
    const std::size_t close = text.find(ctx.closingTag);
    if (close == std::string_view::npos) {
        ctx.dotText.data.append(text);
        ctx.dotText.data.push_back('\n');
        return text.size();
    }
    ctx.dotText.data.append(text.substr(0, close));
    ctx.dotText.data.push_back('\n');
    ctx.diagramOpen = false;
    if (ctx.quickgvMode) ctx.dotText.data.append("}\n");
    storeDotFile(ctx);
    return close + ctx.closingTag.size();
}

std::string diagramImage(const DiagramContext& ctx) {
    std::string image = "<img src=\"";
    image += ctx.options.genPrefix;
    image += ctx.diagramName;
    image += kImageExtension;
    image += "\"/>";
    return image;
}

}  // namespace tarvo
