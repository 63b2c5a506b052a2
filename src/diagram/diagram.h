// Diagram blocks: "<graphviz ...>" and "<quickgv ...>" blocks are captured
// into DOT text, stored as a DOT file named after the block's name attribute
// (rewritten only when it changed), and replaced in the page by an image.
// This layer knows the tags and the files; where in a line a block opens is
// for the markup above it to find.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "io/memory_text.h"
#include "io/write_guard.h"
#include "platform/platform.h"

namespace tarvo {

struct DiagramOptions {
    std::string genPrefix;  // put in front of diagram picture names
    WString workDir;        // put in front of DOT file names
};

// The diagram state of a run. Apart from diagramOpen, nothing in it is reset
// between pages.
struct DiagramContext {
    explicit DiagramContext(const DiagramOptions& o) : options(o) {}

    const DiagramOptions& options;
    bool diagramOpen = false;  // from an opening tag until its closing tag
    bool quickgvMode = false;
    std::string closingTag;
    std::string diagramName;
    MemoryText dotText;
    // The page's source and the template: a DOT file never replaces them.
    KeptFiles kept;
    // A DOT file could not be written: the run fails once it is done.
    bool writeFailed = false;
};

// The length of a diagram opening tag's name ("<graphviz" or "<quickgv"
// followed by a blank or ">") at the start of text, or 0 when there is none.
std::size_t diagramTagNameLength(std::string_view text);

// Opens a block from its whole tag, "<graphviz" or "<quickgv" up to and
// with its ">".
void openDiagram(DiagramContext& ctx, std::string_view tag);

// Moves text into the open block up to its closing tag, or all of it. At the
// closing tag the block is closed and its DOT file stored. Returns the bytes
// taken (the closing tag included).
std::size_t captureDiagramText(DiagramContext& ctx, std::string_view text);

// The image element of the block opened last.
std::string diagramImage(const DiagramContext& ctx);

// The value of name="..." in an attribute text, or empty.
std::string attributeValue(std::string_view attributes, std::string_view name);

}  // namespace tarvo
