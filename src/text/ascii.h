// ASCII helpers on bytes (and on the ASCII units of wide text): case-free
// comparison with a word written in lower case, blanks, digits, trimming.
// Only ASCII letters have a case here; every other byte is itself.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarvo {

constexpr char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Blank and tab: the only blanks of the markup.
inline bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool isAlphanumeric(char c) { return isLetter(c) || isDigit(c); }

// The white space of HTML, between a tag's parts (a CR counts as a line end).
constexpr bool isHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// The value of a hexadecimal digit (either case), or -1.
constexpr int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    c = lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// text begins with word (word in lower case), letters in any case.
constexpr bool startsNoCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lower(text[i]) != word[i]) return false;
    return true;
}

// text is word (word in lower case), letters in any case.
constexpr bool equalsNoCase(std::string_view text, std::string_view word) {
    return text.size() == word.size() && startsNoCase(text, word);
}

// text without its blanks at the end / at the start / at both ends.
template <typename Char>
std::basic_string_view<Char> trimmedRight(std::basic_string_view<Char> t) {
    while (!t.empty() && isBlank(t.back())) t.remove_suffix(1);
    return t;
}
template <typename Char>
std::basic_string_view<Char> trimmedLeft(std::basic_string_view<Char> t) {
    while (!t.empty() && isBlank(t.front())) t.remove_prefix(1);
    return t;
}
template <typename Char>
std::basic_string_view<Char> trimmed(std::basic_string_view<Char> t) {
    return trimmedLeft(trimmedRight(t));
}
inline std::string_view trimmedRight(std::string_view t) { return trimmedRight<char>(t); }
inline std::string_view trimmedLeft(std::string_view t) { return trimmedLeft<char>(t); }
inline std::string_view trimmed(std::string_view t) { return trimmed<char>(t); }

}  // namespace tarvo
