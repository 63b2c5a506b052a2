// Capture of graphviz and quickgv blocks, the image that replaces them in the
// page, and the storing of their DOT files.
#include "diagram/diagram_block.h"

#include <optional>

#include "cli/run_context.h"
#include "platform/platform.h"

namespace tarvo {

namespace {

constexpr std::string_view kGraphviz = "<graphviz";
constexpr std::string_view kQuickgv = "<quickgv";

bool followedBySeparator(std::string_view text, std::size_t at) {
    return at < text.size() && (text[at] == ' ' || text[at] == '>');
}

// The stored file holds exactly the lines of the DOT text followed by one
// empty line.
bool storedFileMatches(WikiInStream& stored, MemoryText& dot) {
    dot.rewind();
    std::string storedLine, dotLine;
    for (;;) {
        if (dot.eof) return !stored.readLine(storedLine);
        if (!stored.readLine(storedLine)) return false;
        readTextLine(dot, dotLine);
        if (storedLine != dotLine) return false;
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

void openDiagram(RunContext& ctx, std::string_view text, std::size_t nameLength, std::size_t tagEnd) {
    DiagramState& d = ctx.diagram;
    std::string_view attributes = text.substr(nameLength, tagEnd - nameLength);
    const bool quickgv = nameLength == kQuickgv.size();
    ctx.block.diagramOpen = true;
    d.closingTag = quickgv ? "</quickgv>" : "</graphviz>";
    d.quickgvMode = quickgv;
    d.diagramName = attributeValue(attributes, "name");
    d.imageExtension = ".svg";
    d.dotText.clear();
    if (quickgv)
        writeQuickgvHeader(d.dotText.data, d.diagramName, attributeValue(attributes, "usage"),
                           attributeValue(attributes, "theme"));
}

std::size_t captureDiagramView(RunContext& ctx, std::string_view text) {
    DiagramState& d = ctx.diagram;
    std::size_t close = text.find(d.closingTag);
    if (close == std::string_view::npos) {
        d.dotText.data.append(text);
        d.dotText.data.push_back('\n');
        return text.size();
    }
    d.dotText.data.append(text.substr(0, close));
    d.dotText.data.push_back('\n');
    ctx.block.diagramOpen = false;
    if (d.quickgvMode) d.dotText.data.append("}\n");
    storeDotFile(ctx);
    return close + d.closingTag.size();
}

std::string diagramImage(const RunContext& ctx) {
    std::string image = "<img src=\"";
    image += ctx.options.genPrefix;
    image += ctx.diagram.diagramName;
    image += ctx.diagram.imageExtension;
    image += "\"/>";
    return image;
}

bool tryOpenDiagram(RunContext& ctx, std::string& line, std::size_t pos) {
    std::string_view text = std::string_view(line).substr(pos);
    std::size_t nameLength = diagramTagNameLength(text);
    if (nameLength == 0) return false;
    std::size_t gt = text.find('>');
    if (gt == std::string_view::npos) return false;
    openDiagram(ctx, text, nameLength, gt);
    line.erase(pos, gt + 1);
    return true;
}

void captureDiagramText(RunContext& ctx, std::string& line, std::size_t pos) {
    line.erase(pos, captureDiagramView(ctx, std::string_view(line).substr(pos)));
}

void insertDiagramImage(RunContext& ctx, std::string& line, std::size_t pos) {
    line.insert(pos, diagramImage(ctx));
}

namespace {

// Why the DOT file may not be written at path, as the bracket after "Can't
// create" (possibly empty); nullopt when it may. It must lie inside the work
// folder also when its folders are links, must not be a link itself or
// anything but a regular file, and must not be the page's source or the
// template.
std::optional<std::string> refusal(const RunContext& ctx, const WString& name, const WString& path) {
    const WString& workDir = ctx.options.workDir;
    const std::size_t cut = workDir.find_last_of(platform::kDirSeparators);
    const WString workFolder = cut == WString::npos ? WString() : workDir.substr(0, cut + 1);
    if (platform::escapesDirectory(name) || !platform::liesWithin(path, workFolder)) return "";
    const platform::FileIdentity id = platform::identify(path);
    if (id == ctx.diagram.sourceFile) return " (it is the source file)";
    if (id == ctx.diagram.templateFile) return " (it is the template file)";
    switch (platform::kindOf(platform::currentFolder(), path)) {
        case platform::FileKind::Missing:
        case platform::FileKind::Regular: return std::nullopt;
        case platform::FileKind::Link: return " (it is a symbolic link)";
        case platform::FileKind::Directory: return " (it is a folder)";
        case platform::FileKind::Other: return " (it is not a regular file)";
    }
    return std::nullopt;
}

}  // namespace

void storeDotFile(RunContext& ctx) {
    DiagramState& d = ctx.diagram;
    WString name;
    appendUtf8AsUtf16(name, static_cast<long>(d.diagramName.size()), d.diagramName.c_str());
    const WString path = ctx.options.workDir + name + u".dot";
    if (const auto why = refusal(ctx, name, path)) {
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

}  // namespace tarvo
