// Translation of wiki markup into the HTML body of a page: the block parser
// reads the source line by line (block_parser.cpp, lists.cpp, tables.cpp)
// and hands the text within a line to the inline formatter
// (inline_formatter.cpp, links.cpp), which writes the translation.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "diagram/diagram.h"
#include "io/line_source.h"
#include "io/page_output.h"
#include "markup/block_state.h"

namespace tarvo {

struct MarkupOptions : DiagramOptions {
    std::string filePrefix;  // put in front of [[file:...]] image names
};

// Working memory of the inline formatter, kept between calls so that a line
// does not cost fresh allocations.
struct InlineBuffers {
    std::string done;     // translated text before the scan position
    std::string scratch;  // inserted text being built
    // Text still to scan, once something was pushed back. Not initialised:
    // only the bytes written count against the process's memory.
    std::unique_ptr<char[]> input;
};

// Everything the translation keeps over a run: the open blocks of the page,
// the diagram state and the formatter's working memory.
struct MarkupContext {
    explicit MarkupContext(const MarkupOptions& o) : options(o), diagram(o) {}

    const MarkupOptions& options;
    BlockState block;
    DiagramContext diagram;
    InlineBuffers inlineBuffers;
};

// Reads every remaining line of the source and writes the page body; closes
// every block and table still open at the end.
void convertBody(MarkupContext& ctx, LineSource& source, PageOutput& out);

// Resets the per-page state (emphasis, comment, raw text, diagram capture).
void startPage(MarkupContext& ctx);

// Closes the open paragraph, list or preformatted block.
void closeBlock(MarkupContext& ctx, PageOutput& out);

// Rewrites one line's text into HTML.
void formatInline(MarkupContext& ctx, PageOutput& out, std::string& text);
// The same, reading text and writing the translation into result, for a
// caller that writes result to out right after: the start of a long
// translation may be handed to out during the call, and result then holds
// only the rest. The first `plain` bytes are known to hold nothing to
// translate (see plainLength).
void formatInlineInto(MarkupContext& ctx, PageOutput& out, std::string_view text, std::string& result,
                      std::size_t plain = 0);

// The length of the start of text that holds nothing the inline formatter
// translates (in normal text, outside comments).
std::size_t plainLength(std::string_view text);

// "<pre" or "<source" (any case) followed by a blank or ">".
bool isPreOpen(std::string_view text);
// "</pre" or "</source" (any case) followed by a blank or ">".
bool isPreClose(std::string_view text);
// HTML tags that pass into the page unchanged; text starts at the "<". A
// passing "</pre" ends an open preformatted block.
bool isPassThroughTag(BlockState& state, std::string_view text);

}  // namespace tarvo
