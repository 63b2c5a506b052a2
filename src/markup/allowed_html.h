// The HTML that a page's text may put into the page: the tags the markup
// passes through, and the tags table markup writes. With --safe each keeps
// only the attributes listed here; every other attribute, every "on..."
// event handler among them, is dropped. An attribute that takes an address
// keeps only a relative address or one of the schemes below, and a style
// keeps nothing that could load or run anything. README.md ("Pages from
// anyone's text") and tarvo.1 (--safe) show the same lists.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarvo {

struct AllowedTag {
    std::string_view name;        // in lower case
    bool passes;                  // passed through from the text; else written by table markup
    bool isVoid;                  // has no content and no closing tag
    std::string_view attributes;  // kept besides the common ones, separated by blanks
};

inline constexpr AllowedTag kAllowedTags[] = {
    // name        passes  void   attributes besides the common ones
    {"a",          true,  false, "href name"},
    {"b",          true,  false, ""},
    {"blockquote", true,  false, "cite"},
    {"br",         true,  true,  "clear"},
    {"code",       true,  false, ""},
    {"del",        true,  false, "cite datetime"},
    {"div",        true,  false, ""},
    {"font",       true,  false, "color face size"},
    {"i",          true,  false, ""},
    {"img",        true,  true,  "src alt width height border"},
    {"ins",        true,  false, "cite datetime"},
    {"p",          true,  false, ""},
    {"pre",        true,  false, ""},
    {"s",          true,  false, ""},
    {"span",       true,  false, ""},
    {"strike",     true,  false, ""},
    {"tt",         true,  false, ""},
    {"u",          true,  false, ""},
    {"table",      false, false, "border cellspacing cellpadding frame rules summary width bgcolor"},
    {"tr",         false, false, "bgcolor valign"},
    {"td",         false, false, "abbr axis headers scope rowspan colspan nowrap width height bgcolor valign"},
    {"th",         false, false, "abbr axis headers scope rowspan colspan nowrap width height bgcolor valign"},
    {"caption",    false, false, ""},
};
inline constexpr std::size_t kAllowedTagCount = std::size(kAllowedTags);

// Kept on every tag above.
inline constexpr std::string_view kCommonAttributes = "class id title lang dir align style";

// Attributes whose value is an address: kept when the address is relative
// or has one of these schemes (read as a browser reads it: entities
// decoded, leading blanks and control characters skipped, any case).
inline constexpr std::string_view kAddressAttributes = "href src cite";
inline constexpr std::string_view kAllowedSchemes = "http https ftp mailto";

// A style is dropped whole when, with its entities decoded, its blanks
// removed and its letters in lower case, it holds one of these.
inline constexpr std::string_view kStyleDropped[] = {
    "\\",     "/*",     "@import",     "expression", "url(",          "image(",      "image-set(",
    "attr(",  "-moz-binding", "behavior", "filter:", "accelerator:", "-o-link", "-o-replace",
    "javascript:", "vbscript:",
};

}  // namespace tarvo
