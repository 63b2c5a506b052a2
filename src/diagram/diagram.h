// Diagram blocks: "<graphviz ...>" and "<quickgv ...>" blocks are captured
// into DOT text, handed over to be stored as a DOT file named after the
// block's name attribute, and replaced in the page by an image. This layer
// knows the tags; where in a line a block opens is for the markup above it to
// find, and where the DOT file goes for the page layer to decide.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvo {

// Takes each diagram's DOT text when its block closes, in page order. The
// page layer stores it; the translation never opens a file or prints.
class DiagramSink {
public:
    virtual void diagramClosed(std::string_view name, std::string_view dotText) = 0;

protected:
    ~DiagramSink() = default;
};

// The diagram capture of the page being translated.
struct DiagramContext {
    bool diagramOpen = false;     // from an opening tag until its closing tag
    bool quickgvMode = false;
    std::string closingTag;
    std::string diagramName;
    std::string dotText;
};

// The length of a diagram opening tag's name ("<graphviz" or "<quickgv"
// followed by a blank or ">") at the start of text, or 0 when there is none.
std::size_t diagramTagNameLength(std::string_view text);

// Opens a block from its whole tag, "<graphviz" or "<quickgv" up to and
// with its ">".
void openDiagram(DiagramContext& ctx, std::string_view tag);

// Moves text into the open block up to its closing tag, or all of it. At the
// closing tag the block is closed and its DOT text handed to closed.
// Returns the bytes taken (the closing tag included).
std::size_t captureDiagramText(DiagramContext& ctx, std::string_view text, DiagramSink& closed);

// The picture a page shows for the diagram of this name, relative to the
// page: genPrefix + name + ".svg", which Graphviz makes from the DOT file.
std::string pictureName(std::string_view genPrefix, std::string_view diagramName);

// The image element of the block opened last, showing its picture.
std::string diagramImage(const DiagramContext& ctx, std::string_view genPrefix);

// The value of name="..." in an attribute text, or empty.
std::string attributeValue(std::string_view attributes, std::string_view name);

}  // namespace tarvo
