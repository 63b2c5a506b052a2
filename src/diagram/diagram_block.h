// Diagram blocks: "<graphviz ...>" and "<quickgv ...>" blocks are captured
// into DOT text, stored as a DOT file named after the block's name attribute
// (rewritten only when it changed), and replaced in the page by an image.
#pragma once

#include <string>
#include <string_view>

#include "page/wiki_in_stream.h"

namespace tarvo {

struct RunContext;

struct DiagramState {
    bool quickgvMode = false;
    std::string closingTag;
    std::string diagramName;
    std::string imageExtension;
    MemoryText dotText;
    // Files a DOT file never replaces: the page's source and the template.
    platform::FileIdentity sourceFile;
    platform::FileIdentity templateFile;
    // A DOT file could not be written: the run fails once it is done.
    bool writeFailed = false;
};

// Length of a diagram opening tag name ("<graphviz" or "<quickgv" followed by a
// blank or ">") at the start of text, or 0 when there is none.
std::size_t diagramTagNameLength(std::string_view text);

// Opens a block from its tag: text[0, tagEnd] is the whole tag, tagEnd being the
// position of its ">", nameLength the length diagramTagNameLength gave.
void openDiagram(RunContext& ctx, std::string_view text, std::size_t nameLength, std::size_t tagEnd);

// Moves text into the open block up to its closing tag, or all of it. At the
// closing tag the block is closed and stored. Returns the bytes taken.
std::size_t captureDiagramView(RunContext& ctx, std::string_view text);

// The image element of the current block.
std::string diagramImage(const RunContext& ctx);

// The same operations on a line and a position in it.
bool tryOpenDiagram(RunContext& ctx, std::string& line, std::size_t pos);
void captureDiagramText(RunContext& ctx, std::string& line, std::size_t pos);
void insertDiagramImage(RunContext& ctx, std::string& line, std::size_t pos);

// The value of name="..." in an attribute text, or empty.
std::string attributeValue(std::string_view attributes, std::string_view name);

// Stores the DOT text under workDir + name + ".dot", unless the stored file
// already holds it.
void storeDotFile(RunContext& ctx);

// Writes the digraph line and the graph, node and edge defaults of a quickgv block.
void writeQuickgvHeader(std::string& dot, std::string_view name, std::string_view usage,
                        std::string_view theme);

}  // namespace tarvo
