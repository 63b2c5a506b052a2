// Character references in HTML text and attribute values ("&amp;",
// "&#x3A;", "&colon;"), read as a browser reads an attribute value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo {

// The value with its character references replaced by the characters (as
// UTF-8) they stand for. Numeric references may lack their ";"; a named one
// without its ";" is decoded only for the oldest names ("&amp", "&lt",
// "&gt", "&quot") and not before a letter, digit or "=". A reference to no
// character, or to one outside Unicode, becomes U+FFFD; an unknown name
// stays as it is.
std::string decodeCharacterReferences(std::string_view value);

// A numeric character reference at the start of text ("&#" and decimal
// digits, or "&#x" and hexadecimal ones, then an optional ";"): its length,
// or 0 when no digit follows. value is its number, 0x110000 for any number
// beyond Unicode.
std::size_t numericReferenceAt(std::string_view text, std::uint32_t& value);

// Appends text as HTML text or a quoted attribute value, with each of its
// characters that are among `which` (of "&", "<", ">" and '"') written as a
// character reference.
void appendEscaped(std::string& out, std::string_view text, std::string_view which = "&<>\"");

}  // namespace tarvo
