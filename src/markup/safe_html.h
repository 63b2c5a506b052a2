// What --safe makes of the HTML in a page's text: a tag read as a browser
// reads it and written back with the attributes the list in allowed_html.h
// keeps, addresses and styles checked, text and values escaped, and the
// tags left open closed again.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "io/page_output.h"
#include "markup/allowed_html.h"
#include "markup/block_state.h"
#include "text/ascii.h"

namespace tarvo {

// The place of a tag name (any case) in kAllowedTags, or -1.
constexpr int allowedTagIndex(std::string_view name) {
    for (std::size_t i = 0; i < kAllowedTagCount; ++i) {
        if (equalsNoCase(name, kAllowedTags[i].name)) return static_cast<int>(i);
    }
    return -1;
}
inline constexpr int kTagA = allowedTagIndex("a");
inline constexpr int kTagPre = allowedTagIndex("pre");

// Reads the inside of a tag as a browser does, from just after its name:
// attributes with double-quoted, single-quoted or unquoted values, blanks
// and "/" between them, up to the ">" that ends the tag. Appends to out
// those that tag keeps, each once (the first, as a browser does) as
// ` name="value"`; a value keeps its entities, and its `"`, `<` and `>` are
// escaped. Returns the length read, with the ">", or npos when the text
// ends first; when endOfText, the end of the text also ends the tag (the
// attributes of table markup) and what follows a ">" is left out.
// selfClosing tells whether the tag ended in "/>".
std::size_t appendAllowedAttributes(std::string& out, int tag, std::string_view text, bool endOfText,
                                    bool& selfClosing, std::string& scratch);

// The same reading, keeping nothing: the length of the tag's rest.
std::size_t tagLength(std::string_view text);

// Whether an attribute value, as a browser reads it, is a relative address
// or has an allowed scheme. scratch holds the decoded value.
bool addressAllowed(std::string_view value, std::string& scratch);
// Whether a style value holds nothing that could load or run anything.
bool styleAllowed(std::string_view value, std::string& scratch);

// Appends an attribute value with `"`, `<` and `>` escaped.
void appendValue(std::string& out, std::string_view value);
// Appends an address as an attribute value; one that reads as a scheme
// that is not allowed gets "./" in front, which makes it a relative one.
void appendAddress(std::string& out, std::string_view address, std::string& scratch);
// A "<pre" or "<source" tag (any case) at the start of tag, written as
// "<pre" (in the case it has) with the attributes a pre keeps, and ">":
// appends it to out and returns the length read; npos, and out unchanged,
// when the text ends before the tag does.
std::size_t appendPreTag(std::string& out, std::string_view tag, std::string& scratch);
// Appends the image element of a diagram's picture: its name written as it
// is (an address, checked), never read as markup.
void appendPictureImage(std::string& out, std::string_view picture, std::string& scratch);
// Appends text with "<" and ">" escaped.
void appendText(std::string& out, std::string_view text);

// A tag of the text opened, with its name as written.
void openTag(OpenTags& open, int tag, std::string_view name);
// The closing tags, innermost first, of the open tags down to the innermost
// one of this kind, which closes as name.
void closeTagsTo(OpenTags& open, int tag, std::string_view name, std::string& out);
// The closing tags of every open tag, innermost first.
void closeOpenTags(OpenTags& open, PageOutput& out);

}  // namespace tarvo
