// Tags read as a browser reads them and written back with the attributes
// they keep; addresses and styles read with their entities decoded.
#include "markup/safe_html.h"

#include <algorithm>
#include <cstdint>

#include "text/ascii.h"
#include "text/html_entities.h"

namespace tarvo {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// A blank-separated word of the list, or the empty view past the last.
constexpr std::string_view wordAt(std::string_view list, std::size_t& at) {
    while (at < list.size() && list[at] == ' ') ++at;
    const std::size_t start = at;
    while (at < list.size() && list[at] != ' ') ++at;
    return list.substr(start, at - start);
}

constexpr bool listed(std::string_view list, std::string_view word) {
    std::size_t at = 0;
    for (std::string_view w; !(w = wordAt(list, at)).empty();)
        if (w == word) return true;
    return false;
}

// What each tag keeps: the common attributes, then its own, each with what
// its value must pass.
enum class Check : std::uint8_t { None, Address, Style };
struct KeptAttribute {
    std::string_view name;
    Check check;
};
struct KeptAttributes {
    static constexpr std::size_t kMost = 32;  // a bit of a mask each
    KeptAttribute kept[kAllowedTagCount][kMost];
    std::size_t count[kAllowedTagCount];
    constexpr KeptAttributes() : kept{}, count{} {
        for (std::size_t tag = 0; tag < kAllowedTagCount; ++tag) {
            for (std::string_view list : {kCommonAttributes, kAllowedTags[tag].attributes}) {
                std::size_t at = 0;
                for (std::string_view w; !(w = wordAt(list, at)).empty();)
                    kept[tag][count[tag]++] = {w, listed(kAddressAttributes, w) ? Check::Address
                                                  : w == "style"                 ? Check::Style
                                                                                 : Check::None};
            }
        }
    }
};
constexpr KeptAttributes kKept;

// The attribute of the tag named name (any case), as listed, with its place
// among the tag's attributes; nullptr when the tag does not keep it.
const KeptAttribute* keptAttribute(int tag, std::string_view name, int& place) {
    for (place = 0; place < static_cast<int>(kKept.count[tag]); ++place) {
        const KeptAttribute& a = kKept.kept[tag][place];
        if (equalsNoCase(name, a.name)) return &a;
    }
    return nullptr;
}

// The named references that stand for ASCII characters; every other one
// stands for a character no address scheme or style rule can hold.
struct NamedReference {
    std::string_view name;
    std::string_view text;
};
constexpr NamedReference kAsciiReferences[] = {
    {"excl", "!"},     {"quot", "\""},   {"QUOT", "\""},     {"num", "#"},      {"dollar", "$"},
    {"percnt", "%"},   {"amp", "&"},     {"AMP", "&"},       {"apos", "'"},     {"lpar", "("},
    {"rpar", ")"},     {"ast", "*"},     {"midast", "*"},    {"plus", "+"},     {"comma", ","},
    {"period", "."},   {"sol", "/"},     {"colon", ":"},     {"semi", ";"},     {"lt", "<"},
    {"LT", "<"},       {"equals", "="},  {"gt", ">"},        {"GT", ">"},       {"quest", "?"},
    {"commat", "@"},   {"lbrack", "["},  {"lsqb", "["},      {"bsol", "\\"},    {"rbrack", "]"},
    {"rsqb", "]"},     {"Hat", "^"},     {"lowbar", "_"},    {"UnderBar", "_"}, {"grave", "`"},
    {"DiacriticalGrave", "`"},           {"lbrace", "{"},    {"lcub", "{"},     {"verbar", "|"},
    {"vert", "|"},     {"VerticalLine", "|"},                {"rbrace", "}"},   {"rcub", "}"},
    {"Tab", "\t"},     {"NewLine", "\n"}, {"fjlig", "fj"},
};

// A character that is not ASCII, after decoding.
constexpr char kOther = '\x80';

// The value as a browser decodes it, into out: ASCII characters as
// themselves, every other character as kOther. A numeric reference counts
// with or without its ";".
void decode(std::string_view v, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < v.size();) {
        const char c = v[i];
        if (c != '&') {
            out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : kOther);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        if (j < v.size() && v[j] == '#') {
            std::uint32_t value;
            if (const std::size_t length = numericReferenceAt(v.substr(i), value)) {
                out.push_back(value == 0 || value >= 0x80 ? kOther : static_cast<char>(value));
                i += length;
                continue;
            }
        } else {
            while (j < v.size() && j - i <= 32 && isAlphanumeric(v[j])) ++j;
            if (j < v.size() && v[j] == ';') {
                const std::string_view name = v.substr(i + 1, j - i - 1);
                const NamedReference* found = nullptr;
                for (const NamedReference& r : kAsciiReferences)
                    if (r.name == name) found = &r;
                if (found) {
                    out.append(found->text);
                    i = j + 1;
                    continue;
                }
            }
        }
        out.push_back('&');
        ++i;
    }
}

// Reads the inside of a tag (see appendAllowedAttributes), handing each
// attribute to onAttribute(name, value).
template <typename OnAttribute>
std::size_t readTag(std::string_view t, bool endOfText, bool& selfClosing, OnAttribute&& onAttribute) {
    const std::size_t n = t.size();
    const std::size_t atEnd = endOfText ? n : npos;
    selfClosing = false;
    std::size_t i = 0;
    for (;;) {
        while (i < n && isHtmlSpace(t[i])) ++i;
        if (i == n) return atEnd;
        if (t[i] == '>') return i + 1;
        if (t[i] == '/') {
            if (++i < n && t[i] == '>') {
                selfClosing = true;
                return i + 1;
            }
            continue;
        }
        // A name runs to a blank, "/", ">" or "=", but takes a "=" at its start.
        const std::size_t nameStart = i++;
        while (i < n && !isHtmlSpace(t[i]) && t[i] != '/' && t[i] != '>' && t[i] != '=') ++i;
        const std::string_view name = t.substr(nameStart, i - nameStart);
        while (i < n && isHtmlSpace(t[i])) ++i;
        if (i == n || t[i] != '=') {
            onAttribute(name, std::string_view());
            continue;
        }
        ++i;
        while (i < n && isHtmlSpace(t[i])) ++i;
        if (i == n || t[i] == '>') {
            onAttribute(name, std::string_view());
            continue;
        }
        if (t[i] == '"' || t[i] == '\'') {
            const std::size_t close = t.find(t[i], i + 1);
            if (close == npos) return atEnd;  // the open value goes with the tag
            onAttribute(name, t.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            // Unquoted: a quote, "=", "<" or backquote in it is part of the value.
            const std::size_t start = i;
            while (i < n && !isHtmlSpace(t[i]) && t[i] != '>') ++i;
            onAttribute(name, t.substr(start, i - start));
        }
    }
}

}  // namespace

std::size_t appendAllowedAttributes(std::string& out, int tag, std::string_view text, bool endOfText,
                                    bool& selfClosing, std::string& scratch) {
    std::uint32_t seen = 0;
    return readTag(text, endOfText, selfClosing, [&](std::string_view name, std::string_view value) {
        int place;
        const KeptAttribute* kept = keptAttribute(tag, name, place);
        // The first of the same name counts, as in a browser.
        if (!kept || (seen >> place & 1)) return;
        seen |= 1u << place;
        if (kept->check == Check::Address && !addressAllowed(value, scratch)) return;
        if (kept->check == Check::Style && !styleAllowed(value, scratch)) return;
        out += ' ';
        out += kept->name;
        out += "=\"";
        appendValue(out, value);
        out += '"';
    });
}

std::size_t tagLength(std::string_view text) {
    bool selfClosing;
    return readTag(text, false, selfClosing, [](std::string_view, std::string_view) {});
}

bool addressAllowed(std::string_view value, std::string& scratch) {
    decode(value, scratch);
    const std::string_view v = scratch;
    std::size_t i = 0;
    while (i < v.size() && static_cast<unsigned char>(v[i]) <= 0x20) ++i;
    if (i == v.size() || !isLetter(v[i])) return true;
    // A scheme: a letter, then letters, digits, "+", "-" or ".", up to ":".
    // Control characters inside it do not count, as some readers skip them.
    char scheme[16];
    std::size_t length = 0;
    for (; i < v.size(); ++i) {
        const char c = v[i];
        if (static_cast<unsigned char>(c) < 0x20) continue;
        if (c == ':') return length <= sizeof scheme && listed(kAllowedSchemes, std::string_view(scheme, length));
        if (!isAlphanumeric(c) && c != '+' && c != '-' && c != '.') return true;
        if (length < sizeof scheme) scheme[length] = lower(c);
        ++length;
    }
    return true;
}

bool styleAllowed(std::string_view value, std::string& scratch) {
    decode(value, scratch);
    std::size_t kept = 0;
    for (char c : scratch)
        if (!isHtmlSpace(c)) scratch[kept++] = lower(c);
    scratch.resize(kept);
    for (std::string_view dropped : kStyleDropped)
        if (scratch.find(dropped) != npos) return false;
    return true;
}

void appendValue(std::string& out, std::string_view value) { appendEscaped(out, value, "<>\""); }

void appendAddress(std::string& out, std::string_view address, std::string& scratch) {
    if (!addressAllowed(address, scratch)) out += "./";
    appendValue(out, address);
}

std::size_t appendPreTag(std::string& out, std::string_view tag, std::string& scratch) {
    const std::size_t nameLength = lower(tag[1]) == 's' ? 7 : 4;
    const std::size_t mark = out.size();
    out.append(nameLength == 7 ? std::string_view("<pre") : tag.substr(0, 4));
    bool selfClosing;
    const std::size_t length = appendAllowedAttributes(out, kTagPre, tag.substr(nameLength), false, selfClosing, scratch);
    if (length == npos) {
        out.resize(mark);
        return npos;
    }
    out += '>';
    return nameLength + length;
}

void appendPictureImage(std::string& out, std::string_view picture, std::string& scratch) {
    out += "<img src=\"";
    appendAddress(out, picture, scratch);
    out += "\"/>";
}

void appendText(std::string& out, std::string_view text) { appendEscaped(out, text, "<>"); }

void openTag(OpenTags& open, int tag, std::string_view name) {
    open.tags.push_back(static_cast<std::uint8_t>(tag));
    open.names.append(name);
    ++open.count[tag];
}

namespace {

// Takes the innermost open tag off the stack, handing its name as written
// to write first.
template <typename Write>
void closeInnermost(OpenTags& open, Write&& write) {
    const int tag = open.tags.back();
    const std::size_t length = kAllowedTags[tag].name.size();
    write(std::string_view(open.names).substr(open.names.size() - length));
    open.names.resize(open.names.size() - length);
    open.tags.pop_back();
    --open.count[tag];
}

}  // namespace

void closeTagsTo(OpenTags& open, int tag, std::string_view name, std::string& out) {
    const auto write = [&](std::string_view closing) {
        out += "</";
        out += closing;
        out += '>';
    };
    while (open.tags.back() != tag) closeInnermost(open, write);
    closeInnermost(open, [](std::string_view) {});
    write(name);
}

void closeOpenTags(OpenTags& open, PageOutput& out) {
    while (!open.empty())
        closeInnermost(open, [&](std::string_view name) {
            out.write("</");
            out.write(name);
            out.write(">");
        });
}

}  // namespace tarvo
