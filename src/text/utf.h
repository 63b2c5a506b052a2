// UTF-8 and UTF-16: one encoder each way, with the variants the program
// needs side by side.
//
// - The source reader turns UTF-16 text into UTF-8 with fullwidth ASCII
//   folded and lone surrogates made U+FFFD (Utf8Encoder with foldFullwidth),
//   and diagram names become UTF-16 with "?" for what is malformed
//   (appendUtf8AsUtf16).
// - The platform layer turns byte names and arguments into UTF-16 and back
//   so that every byte survives the round trip: a byte that does not decode
//   is kept as the unit 0xDC00 + byte (wideOf, utf8Of with keepBytes).
// One decoder reads UTF-8 for all of them, with one rule for what is
// well-formed; only what a malformed sequence becomes is the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo {

// File names and command-line arguments.
using WString = std::u16string;

// ASCII text as a wide string, unit for unit.
WString widen(std::string_view ascii);

// Appends one code point (up to U+10FFFF) as UTF-8.
void appendUtf8(std::string& out, std::uint32_t codePoint);

// How UTF-16 units become UTF-8.
struct Utf16Rules {
    bool foldFullwidth = false;  // U+FF01..U+FF5E become their ASCII forms
    bool keepBytes = false;      // 0xDC00 + byte (a byte kept aside) becomes that byte
};

// The UTF-16 to UTF-8 encoder, fed unit by unit so that a surrogate pair may
// be split between two calls. A surrogate without its other half becomes
// U+FFFD (or, with keepBytes, the byte it stands for).
class Utf8Encoder {
public:
    explicit Utf8Encoder(Utf16Rules rules) : rules_(rules) {}
    void put(std::string& out, char16_t unit);
    // Ends the text: a high surrogate still waiting becomes U+FFFD.
    void finish(std::string& out);

private:
    Utf16Rules rules_;
    char16_t pendingHigh_ = 0;
};

// A whole wide text as UTF-8.
std::string utf8Of(std::u16string_view text, Utf16Rules rules);

// What a malformed UTF-8 sequence becomes in UTF-16 (utf.cpp says what is
// well-formed and how far a malformed sequence reaches).
enum class Malformed {
    KeepBytes,     // each of its bytes as the unit 0xDC00 + byte, which utf8Of gives back
    Replacement,   // each of its bytes as U+FFFD
    QuestionMark,  // the whole sequence as one "?"
};

// Appends UTF-8 bytes as UTF-16 units, malformed sequences replaced as asked.
// False when one was malformed.
bool appendUtf8AsUtf16(WString& out, std::string_view bytes, Malformed replace);

// UTF-8 bytes as UTF-16, each byte of a malformed sequence kept (keepBytes)
// or made U+FFFD.
WString wideOf(std::string_view bytes, bool keepBytes);

// Appends UTF-8 text (zero-terminated, at most count bytes when count >= 0)
// as UTF-16 units. A malformed sequence gives "?"; the result is then false.
bool appendUtf8AsUtf16(WString& out, long count, const char* text);

}  // namespace tarvo
