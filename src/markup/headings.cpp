#include "markup/headings.h"

#include "markup/safe_html.h"
#include "text/ascii.h"
#include "text/html_entities.h"

namespace tarvo {

namespace {

// The length of the tag at the start of text ("<" then a letter, "/" or
// "!"), read as a browser reads it, up to its ">"; the rest of the text when
// it does not end; 0 when no tag starts there.
std::size_t tagAt(std::string_view text) {
    if (text.size() < 2 || text[0] != '<') return 0;
    std::size_t name = text[1] == '/' ? 2 : 1;
    if (text[1] == '!') {
        const std::size_t end = text.find('>');
        return end == std::string_view::npos ? text.size() : end + 1;
    }
    if (name >= text.size() || !isLetter(text[name])) return 0;
    while (name < text.size() && isAlphanumeric(text[name])) ++name;
    const std::size_t rest = tagLength(text.substr(name));
    return rest == std::string_view::npos ? text.size() : name + rest;
}

// The byte length of the blank at the start of text: ASCII white space or
// a no-break space (U+00A0); 0 for anything else.
std::size_t blankAt(std::string_view text) {
    const char c = text[0];
    if (isHtmlSpace(c)) return 1;
    return text.size() >= 2 && c == '\xC2' && text[1] == '\xA0' ? 2 : 0;
}

// The bytes an address carries as they are in a fragment (RFC 3986's
// fragment characters, but "&", which an attribute would read as a
// character reference).
bool carried(unsigned char c) {
    if (isAlphanumeric(static_cast<char>(c))) return true;
    return std::string_view("-._~!$'()*+,;=:@/?").find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::string idOfText(std::string_view html, bool translated) {
    std::string text;
    text.reserve(html.size());
    for (std::size_t at = 0; at < html.size();) {
        const bool tagged = html[at] == '<' && (translated || isPassThroughTag(html.substr(at)));
        const std::size_t tag = tagged ? tagAt(html.substr(at)) : 0;
        if (tag > 0) {
            at += tag;
            continue;
        }
        const std::size_t plain = html.find('<', at + 1);
        text.append(html.substr(at, plain - at));
        at = plain == std::string_view::npos ? html.size() : plain;
    }
    const std::string decoded = decodeCharacterReferences(text);
    std::string id;
    id.reserve(decoded.size());
    bool blank = false;
    for (std::size_t at = 0; at < decoded.size();) {
        if (const std::size_t n = blankAt(std::string_view(decoded).substr(at))) {
            blank = !id.empty();
            at += n;
            continue;
        }
        if (blank) id += '_';
        blank = false;
        id += decoded[at++];
    }
    return id;
}

std::string uniqueId(HeadingIds& used, std::string id) {
    if (id.empty()) return id;
    const auto [given, fresh] = used.try_emplace(id, 2);
    if (fresh) return id;
    // The numbers go on from where the last repeat of this id stopped, so
    // that many headings of one text cost no rescan of the numbers taken.
    unsigned& next = given->second;
    std::string numbered;
    do {
        numbered = id;
        numbered += '_';
        numbered += std::to_string(next++);
    } while (used.count(numbered) != 0);
    used.emplace(numbered, 2);
    return numbered;
}

void appendFragment(std::string& out, std::string_view id) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t at = 0; at < id.size(); ++at) {
        const char c = id[at];
        const auto byte = static_cast<unsigned char>(c);
        // A browser looks for the fragment as written, then with its escapes
        // decoded: an escape written in the text ("%E5%95%A4") stays one.
        const bool escape = c == '%' && at + 2 < id.size() && hexValue(id[at + 1]) >= 0 && hexValue(id[at + 2]) >= 0;
        if (carried(byte) || escape) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
}

void appendTargetWithFragment(std::string& out, std::string_view target) {
    const std::size_t hash = target.find('#');
    out.append(target.substr(0, hash));
    if (hash == std::string_view::npos) return;
    out += '#';
    appendFragment(out, idOfText(target.substr(hash + 1), false));
}

std::string withoutLinks(std::string_view html) {
    std::string text;
    text.reserve(html.size());
    for (std::size_t at = 0; at < html.size();) {
        const std::size_t open = html.find('<', at);
        text.append(html.substr(at, open - at));
        if (open == std::string_view::npos) break;
        const std::string_view rest = html.substr(open);
        const std::size_t name = rest.size() > 1 && rest[1] == '/' ? 2 : 1;
        const bool link = rest.size() > name + 1 && lower(rest[name]) == 'a' &&
                          (rest[name + 1] == '>' || rest[name + 1] == '/' || blankAt(rest.substr(name + 1)) == 1);
        const std::size_t tag = link ? tagAt(rest) : 0;
        if (tag == 0) text += '<';
        at = open + (tag == 0 ? 1 : tag);
    }
    return text;
}

std::size_t contentsWordAt(std::string_view text, ContentsWord& word) {
    static constexpr struct {
        std::string_view spelling;
        ContentsWord word;
    } kWords[] = {{"__toc__", ContentsWord::Here},
                  {"__notoc__", ContentsWord::Never},
                  {"__forcetoc__", ContentsWord::Always}};
    for (const auto& w : kWords) {
        if (startsNoCase(text, w.spelling)) {
            word = w.word;
            return w.spelling.size();
        }
    }
    return 0;
}

}  // namespace tarvo
