#include "text/html_entities.h"

#include <algorithm>
#include <cstdint>

#include "text/ascii.h"
#include "text/utf.h"

namespace tarvo {

namespace {

struct NamedReference {
    std::string_view name;
    std::uint32_t codePoint;
};

// The names a page is likely to hold in an address or in the text around
// it: the markup characters, blanks and line ends, and the punctuation that
// URLs are made of.
constexpr NamedReference kNames[] = {
    {"amp", '&'},     {"lt", '<'},        {"gt", '>'},       {"quot", '"'},     {"apos", '\''},
    {"nbsp", 0xA0},   {"Tab", '\t'},      {"NewLine", '\n'}, {"colon", ':'},    {"sol", '/'},
    {"bsol", '\\'},   {"num", '#'},       {"quest", '?'},    {"percnt", '%'},   {"equals", '='},
    {"period", '.'},  {"comma", ','},     {"semi", ';'},     {"excl", '!'},     {"commat", '@'},
    {"lpar", '('},    {"rpar", ')'},      {"lsqb", '['},     {"rsqb", ']'},     {"lbrack", '['},
    {"rbrack", ']'},  {"lcub", '{'},      {"rcub", '}'},     {"plus", '+'},     {"dollar", '$'},
    {"ast", '*'},     {"lowbar", '_'},    {"Hat", '^'},      {"grave", '`'},    {"verbar", '|'},
    {"vert", '|'},    {"tilde", 0x2DC},   {"shy", 0xAD},     {"copy", 0xA9},    {"reg", 0xAE},
};

// The names older than the ";" rule, decoded even without it.
bool isLegacyName(std::string_view name) { return name == "amp" || name == "lt" || name == "gt" || name == "quot"; }

// A numeric reference at text[0] == '&', text[1] == '#', decoded into out:
// its length, or 0.
std::size_t numericReference(std::string_view text, std::string& out) {
    std::uint32_t value;
    const std::size_t length = numericReferenceAt(text, value);
    if (length == 0) return 0;
    const bool invalid = value > 0x10FFFF || value == 0 || (value >= 0xD800 && value <= 0xDFFF);
    appendUtf8(out, invalid ? 0xFFFD : value);
    return length;
}

}  // namespace

std::size_t numericReferenceAt(std::string_view text, std::uint32_t& value) {
    std::size_t at = 2;
    const bool hex = at < text.size() && lower(text[at]) == 'x';
    if (hex) ++at;
    const std::size_t digits = at;
    value = 0;
    for (; at < text.size(); ++at) {
        const int digit = hex ? hexValue(text[at]) : (isDigit(text[at]) ? text[at] - '0' : -1);
        if (digit < 0) break;
        value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit), 0x110000);
    }
    if (at == digits) return 0;
    if (at < text.size() && text[at] == ';') ++at;
    return at;
}

std::string decodeCharacterReferences(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size();) {
        const std::size_t amp = value.find('&', i);
        out.append(value.substr(i, amp - i));
        if (amp == std::string_view::npos) break;
        const std::string_view rest = value.substr(amp);
        if (rest.size() > 1 && rest[1] == '#') {
            if (const std::size_t length = numericReference(rest, out)) {
                i = amp + length;
                continue;
            }
        } else {
            std::size_t end = 1;
            while (end < rest.size() && isAlphanumeric(rest[end])) ++end;
            const std::string_view name = rest.substr(1, end - 1);
            const bool semicolon = end < rest.size() && rest[end] == ';';
            const bool usable = semicolon || (isLegacyName(name) && (end == rest.size() || rest[end] != '='));
            bool found = false;
            for (const NamedReference& named : kNames) {
                if (usable && named.name == name) {
                    appendUtf8(out, named.codePoint);
                    found = true;
                    break;
                }
            }
            if (found) {
                i = amp + end + (semicolon ? 1 : 0);
                continue;
            }
        }
        out.push_back('&');
        i = amp + 1;
    }
    return out;
}

void appendEscaped(std::string& out, std::string_view text, std::string_view which) {
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (which.find(c) == std::string_view::npos) continue;
        out.append(text.data() + from, i - from);
        out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : "&quot;";
        from = i + 1;
    }
    out.append(text.data() + from, text.size() - from);
}

}  // namespace tarvo
