// Translation of wiki markup into the HTML body of a page.
#pragma once

#include <string>
#include <string_view>

#include "page/page_output.h"
#include "page/wiki_in_stream.h"

namespace tarvo {

struct RunContext;
struct BlockState;

// Reads every remaining line of the source and writes the page body; closes
// every block and table still open at the end.
void convertBody(RunContext& ctx, WikiInStream& source, PageOutput& out);

// Resets the per-page state (emphasis, comment, raw text, diagram capture).
void startPage(RunContext& ctx);

// Closes the open paragraph, list or preformatted block.
void closeBlock(RunContext& ctx, PageOutput& out);

// Rewrites one line's text into HTML.
void formatInline(RunContext& ctx, PageOutput& out, std::string& text);
// The same, reading text and writing the translation into result, for a
// caller that writes result to out right after: the start of a long
// translation may be handed to out during the call, and result then holds
// only the rest. The first `plain` bytes are known to hold nothing to
// translate (see plainLength).
void formatInlineInto(RunContext& ctx, PageOutput& out, std::string_view text, std::string& result,
                      std::size_t plain = 0);

// The length of the start of text that holds nothing the inline formatter
// translates (in normal text, outside comments).
std::size_t plainLength(std::string_view text);

// Removes trailing / leading blanks and tabs.
void trimRight(std::string& text);
void trimLeft(std::string& text);
inline std::string_view trimmedRight(std::string_view t) {
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
}
inline std::string_view trimmedLeft(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
    return t.substr(i);
}

// "<pre" or "<source" (any case) followed by a blank or ">".
bool isPreOpen(std::string_view text);
// "</pre" or "</source" (any case) followed by a blank or ">".
bool isPreClose(std::string_view text);
// HTML tags that pass into the page unchanged; text starts at the "<". A
// passing "</pre" ends an open preformatted block.
bool isPassThroughTag(BlockState& state, std::string_view text);

}  // namespace tarvo
