#include "markup/reference_inline.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "diagram/diagram_block.h"
#include "markup/markup.h"
#include "page/page_output.h"

namespace tarvo::reference {

namespace {

constexpr std::size_t npos = std::string::npos;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// text begins with word (given in lower case), compared without regard to case.
bool startsNoCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lower(text[i]) != word[i]) return false;
    return true;
}

bool equalsNoCase(std::string_view text, std::string_view word) {
    return text.size() == word.size() && startsNoCase(text, word);
}

bool endsWithHtml(std::string_view t) { return t.size() >= 5 && equalsNoCase(t.substr(t.size() - 5), ".html"); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

void trimBlanks(std::string& t) {
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
    std::size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
    t.erase(0, i);
}

// "<pre"/"<source" (or with "</") in any case, then a blank or ">".
bool tagWordThenBlankOrClose(std::string_view t, std::string_view word) {
    return startsNoCase(t, word) && t.size() > word.size() && (t[word.size()] == ' ' || t[word.size()] == '>');
}
bool isPreOpenRef(std::string_view t) {
    return tagWordThenBlankOrClose(t, "<pre") || tagWordThenBlankOrClose(t, "<source");
}
bool isPreCloseRef(std::string_view t) {
    return tagWordThenBlankOrClose(t, "</pre") || tagWordThenBlankOrClose(t, "</source");
}

std::string attribute(std::string_view attributes, std::string_view name) {
    std::string key = std::string(name) + "=\"";
    std::size_t at = attributes.find(key);
    if (at == npos) return {};
    std::size_t end = attributes.find('"', at + key.size());
    if (end == npos) return {};
    return std::string(attributes.substr(at + key.size(), end - at - key.size()));
}

void dropLeadingBlanks(std::string& s) {
    std::size_t b = 0;
    while (b < s.size() && (s[b] == ' ' || s[b] == '\t')) ++b;
    s.erase(0, b);
}

// Reads the leading digits of s as a number (too large: INT_MAX), removes them
// and the blanks after them.
int takeNumber(std::string& s) {
    long long value = 0;
    std::size_t n = 0;
    for (; n < s.size() && isDigit(s[n]); ++n) value = std::min<long long>(value * 10 + (s[n] - '0'), INT_MAX + 1LL);
    s.erase(0, n);
    dropLeadingBlanks(s);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

void sizeOption(std::string s, int& width, int& height) {
    int w = width, h = height;
    if (!s.empty() && (isDigit(s[0]) || s[0] == 'x' || s[0] == 'X')) {
        if (isDigit(s[0])) w = takeNumber(s);
        if (!s.empty() && (s[0] == 'x' || s[0] == 'X')) {
            s.erase(0, 1);
            dropLeadingBlanks(s);
        }
    }
    if (!s.empty() && isDigit(s[0])) h = takeNumber(s);
    if (equalsNoCase(s, "px")) {
        width = w;
        height = h;
    }
}

class Scan {
public:
    Scan(RefState& st, const RefOptions& opt, std::string& out, std::string& text)
        : st_(st), opt_(opt), out_(out), text_(text) {}

    void run() {
        while (!ended_ && pos_ < text_.size()) {
            if (st_.inComment) {
                if (text_.compare(pos_, 3, "-->") != 0) {
                    ++pos_;
                    continue;
                }
                text_.erase(commentStart_, pos_ + 3 - commentStart_);
                st_.inComment = false;
                pos_ = commentStart_;
                continue;  // the byte after the comment, from the raw-text test on
            }
            if (st_.rawMode != RawMode::Normal && text_[pos_] != '<') {
                if (text_[pos_] == '>') text_.replace(pos_, 1, "&gt;");
                ++pos_;
                continue;
            }
            switch (text_[pos_]) {
                case '\'': emphasis(); break;
                case '<': angle(); break;
                case '[': bracket(); break;
                case 'h':
                case 'H': externalLink(pos_, false); break;
                default: ++pos_;
            }
        }
        if (st_.inComment) text_.erase(std::min(commentStart_, text_.size()));
    }

private:
    char at(std::size_t i) const { return i < text_.size() ? text_[i] : '\0'; }
    std::string_view from(std::size_t i) const { return std::string_view(text_).substr(std::min(i, text_.size())); }

    void emphasis() {
        if (at(pos_ + 1) != '\'') {
            ++pos_;
            return;
        }
        const bool bold = at(pos_ + 2) == '\'';
        bool& open = bold ? st_.boldOpen : st_.italicOpen;
        std::string tag = open ? (bold ? "</b>" : "</i>") : (bold ? "<b>" : "<i>");
        text_.replace(pos_, bold ? 3 : 2, tag);
        open = !open;
        pos_ += tag.size();
    }

    void angle() {
        std::string_view t = from(pos_);
        if (st_.rawMode == RawMode::Normal && t.substr(0, 4) == "<!--") {
            commentStart_ = pos_;
            st_.inComment = true;
            pos_ += 4;
            return;
        }
        if (st_.rawMode != RawMode::Nowiki && startsNoCase(t, "<nowiki")) {
            if (st_.rawMode == RawMode::Normal) st_.rawMode = RawMode::Nowiki;
            return removeTagThrough(text_.find('>', pos_ + 7));
        }
        if (st_.rawMode != RawMode::Normal && startsNoCase(t, "</nowiki")) {
            if (st_.rawMode == RawMode::Nowiki) st_.rawMode = RawMode::Normal;
            return removeTagThrough(text_.find('>', pos_ + 1));
        }
        if (st_.rawMode == RawMode::PreBlock && isPreCloseRef(t)) {
            st_.rawMode = RawMode::Normal;
            st_.blockMode = BlockMode::None;
            if (text_[pos_ + 2] == 's') text_.replace(pos_ + 2, 6, "pre");
            std::size_t gt = text_.find('>', pos_);
            if (gt == npos) ended_ = true;
            else pos_ = gt + 1;
            return;
        }
        if (st_.rawMode != RawMode::Normal) return escapeAngle();
        if (isPreOpenRef(t)) return preOpen();
        if (tryOpenDiagram(pos_)) {
            captureDiagramText(pos_);
            insertDiagramImage(pos_);
            ++pos_;
            return;
        }
        if (passThrough()) {
            ++pos_;
            return;
        }
        escapeAngle();
    }

    void escapeAngle() {
        text_.replace(pos_, 1, "&lt;");
        ++pos_;
    }

    // A nowiki tag from pos through gt is removed and the scan resumes at pos;
    // without its ">" the rest stays as written and the scan ends.
    void removeTagThrough(std::size_t gt) {
        if (gt == npos) ended_ = true;
        else text_.erase(pos_, gt + 1 - pos_);
    }

    void preOpen() {
        if (st_.blockMode != BlockMode::None) {
            out_.append(text_, 0, pos_);
            text_.erase(0, pos_);
            pos_ = 0;
            if (st_.blockMode != BlockMode::PreTag && st_.blockMode != BlockMode::PreIndent) closeBlock();
        }
        st_.rawMode = RawMode::PreBlock;
        const bool alreadyOpen = st_.blockMode == BlockMode::PreTag || st_.blockMode == BlockMode::PreIndent;
        st_.blockMode = BlockMode::PreTag;
        std::size_t gt = text_.find('>', pos_);
        if (gt == npos) {
            // Without its ">" the tag and the rest stay as written (or go,
            // when a block was already open), and the scan ends.
            if (alreadyOpen) text_.erase(pos_);
            ended_ = true;
            return;
        }
        if (text_[pos_ + 1] == 's') {
            text_.replace(pos_ + 1, 6, "pre");
            gt -= 3;
        }
        if (alreadyOpen) text_.erase(pos_, gt + 1 - pos_);
        else pos_ = gt + 1;
    }

    void closeBlock() {
        switch (st_.blockMode) {
            case BlockMode::Paragraph: out_ += "</p>\n"; break;
            case BlockMode::List:
                while (!st_.listPrefix.empty()) {
                    switch (st_.listPrefix.back()) {
                        case '*': out_ += "</li>\n</ul>\n"; break;
                        case '#': out_ += "</li>\n</ol>\n"; break;
                        case ':': out_ += "</dd></dl>\n"; break;
                        default: out_ += "</dt></dl>\n"; break;
                    }
                    st_.listPrefix.pop_back();
                }
                break;
            case BlockMode::PreTag:
            case BlockMode::PreIndent: out_ += "</pre>\n"; break;
            case BlockMode::None: break;
        }
        st_.blockMode = BlockMode::None;
    }

    bool tryOpenDiagram(std::size_t p) {
        std::string_view t = from(p);
        std::size_t nameLength;
        if (t.substr(0, 9) == "<graphviz" && t.size() > 9 && (t[9] == ' ' || t[9] == '>')) nameLength = 9;
        else if (t.substr(0, 8) == "<quickgv" && t.size() > 8 && (t[8] == ' ' || t[8] == '>')) nameLength = 8;
        else return false;
        std::size_t gt = text_.find('>', p);
        if (gt == npos) return false;
        const std::string attributes = text_.substr(p + nameLength, gt - p - nameLength);
        text_.erase(p, gt + 1 - p);
        RefDiagram& d = st_.diagram;
        st_.diagramOpen = true;
        d.quickgv = nameLength == 8;
        d.closingTag = d.quickgv ? "</quickgv>" : "</graphviz>";
        d.name = attribute(attributes, "name");
        d.imageExtension = ".svg";
        d.dot.clear();
        if (d.quickgv) writeQuickgvHeader(d.dot, d.name, attribute(attributes, "usage"), attribute(attributes, "theme"));
        return true;
    }

    void captureDiagramText(std::size_t p) {
        RefDiagram& d = st_.diagram;
        std::size_t c = text_.find(d.closingTag, p);
        if (c == npos) {
            d.dot += text_.substr(p);
            d.dot += '\n';
            text_.erase(p);
            return;
        }
        d.dot += text_.substr(p, c - p);
        d.dot += '\n';
        text_.erase(p, c + d.closingTag.size() - p);
        st_.diagramOpen = false;
        if (d.quickgv) d.dot += "}\n";
        ++d.stores;
    }

    void insertDiagramImage(std::size_t p) {
        text_.insert(p, "<img src=\"" + opt_.genPrefix + st_.diagram.name + st_.diagram.imageExtension + "\"/>");
    }

    // The "<" at pos begins a tag that passes into the page (the text read
    // as a zero-terminated string).
    bool passThrough() {
        std::string_view t(text_.c_str() + pos_);
        auto byte = [&](std::size_t i) { return i < t.size() ? t[i] : '\0'; };
        if (byte(1) == '\0') return false;
        std::size_t name = 1;
        const bool closing = byte(1) == '/';
        if (closing) {
            name = 2;
            if (byte(2) == '\0') return false;
        }
        auto ends = [](char c) { return c == ' ' || c == '/' || c == '>'; };
        if (ends(byte(name + 1))) return std::string_view("abipsu").find(lower(byte(name))) != npos;
        static const std::string_view kNames[] = {"br",   "tt",   "div",  "img",  "ins",    "del",
                                                  "pre",  "span", "font", "code", "strike", "blockquote"};
        for (std::string_view n : kNames) {
            if (!startsNoCase(t.substr(name), n)) continue;
            const char next = byte(name + n.size());
            if (!ends(next)) return false;
            if (closing && n == "pre" && next != '/') {
                st_.blockMode = BlockMode::None;
                st_.rawMode = RawMode::Normal;
            }
            return true;
        }
        return false;
    }

    // ---- links ----

    // The link nesting depth at position p: inside the text of the link
    // inserted last, its depth; elsewhere 0.
    int depthAt(std::size_t p) const { return text_.size() - p > regionEndFromEnd_ ? regionDepth_ : 0; }

    void bracket() {
        if (at(pos_ + 1) == '[') {
            if (at(pos_ + 2) != '[' && depthAt(pos_) < 2) {
                std::size_t close = text_.find("]]", pos_ + 2);
                if (close != npos) return wikiLink(close);
            }
            ++pos_;
            return;
        }
        if (startsNoCase(from(pos_ + 1), "http")) return externalLink(pos_ + 1, true);
        ++pos_;
    }

    void wikiLink(std::size_t close) {
        const int depth = depthAt(pos_);
        std::string inner = text_.substr(pos_ + 2, close - pos_ - 2);
        text_.erase(pos_, close + 2 - pos_);
        trimBlanks(inner);
        if (inner.size() >= 5 && startsNoCase(inner, "file") && inner[4] == ':') return image(inner);
        std::string link = internalLink(inner);
        text_.insert(pos_, link);
        regionEndFromEnd_ = text_.size() - (pos_ + link.size());
        regionDepth_ = depth + 1;
        ++pos_;
    }

    void image(std::string inner) {
        inner.erase(0, 5);
        std::size_t bar = inner.find('|');
        const std::string name = inner.substr(0, bar);
        int width = -1, height = -1;
        if (bar != npos) {
            std::string options = inner.substr(bar + 1);
            std::vector<std::string> list;
            std::size_t start = 0;
            for (;;) {
                std::size_t b = options.find('|', start);
                list.push_back(options.substr(start, b == npos ? npos : b - start));
                if (b == npos) break;
                start = b + 1;
            }
            static const std::string_view kWords[] = {"left",     "right",  "center",   "none",   "baseline",
                                                      "sub",      "super",  "top",      "text-top", "middle",
                                                      "bottom",   "text-bottom", "upright"};
            for (std::string option : list) {
                trimBlanks(option);
                if (option.empty()) continue;
                if (std::any_of(std::begin(kWords), std::end(kWords),
                                [&](std::string_view w) { return equalsNoCase(option, w); }))
                    continue;
                if (option.size() >= 3 && equalsNoCase(option.substr(option.size() - 2), "px"))
                    sizeOption(option, width, height);
            }
        }
        std::string element = "<img src=\"" + opt_.filePrefix + name;
        if (width >= 0) element += "\" width=\"" + std::to_string(width);
        if (height >= 0) element += "\" height=\"" + std::to_string(height);
        element += "\"/>";
        text_.insert(pos_, element);
        pos_ += element.size();
    }

    // The anchor "#" counts only in the target, the text before the first "|".
    static std::string internalLink(std::string inner) {
        std::size_t hash = inner.find('#');
        if (hash != npos && hash > inner.find('|')) hash = npos;
        const bool anchored = hash != npos;
        std::size_t inserted = npos;
        if (anchored && hash > 0) {
            std::size_t after = hash + 1;
            while (after < inner.size() && inner[after] == ' ') ++after;
            inner.erase(hash + 1, after - hash - 1);
            std::size_t before = hash;
            while (before > 0 && inner[before - 1] == ' ') --before;
            inner.erase(before, hash - before);
            hash = before;
            if (!endsWithHtml(std::string_view(inner).substr(0, hash))) {
                inner.insert(hash, ".html");
                inserted = hash;
            }
        }
        std::string target, label;
        std::size_t bar = inner.find('|');
        if (bar != npos) {
            label = inner.substr(bar + 1);
            label.erase(0, std::min(label.find_first_not_of(' '), label.size()));
            target = inner.substr(0, bar);
            while (!target.empty() && (target.back() == ' ' || target.back() == '\t')) target.pop_back();
        } else {
            target = inner;
            label = inner;
            if (inserted != npos) label.erase(inserted, 5);
        }
        if (!anchored && !endsWithHtml(target)) target += ".html";
        return "<a href=\"" + target + "\">" + label + "</a>";
    }

    // A URL at p; bracketed when a "[" stands at p - 1 and `bracketed` is set.
    void externalLink(std::size_t p, bool bracketed) {
        if (!startsNoCase(from(p), "http")) {
            ++pos_;
            return;
        }
        std::size_t q = p + 4;
        if (at(q) == 's' || at(q) == 'S') q = p + 5;
        if (text_.compare(q, 3, "://") != 0) {
            pos_ = q;
            return;
        }
        const std::size_t space = text_.find(' ', q + 3);
        const std::size_t urlEnd = space == npos ? text_.size() : space;
        const std::string url = text_.substr(p, urlEnd - p);
        const std::string open = "<a class=\"extlink\" href=\"";
        const std::string mid = "\" target=\"_blank\">";
        if (!bracketed) {
            std::string link = open + url + mid + url + "</a>";
            text_.replace(p, urlEnd - p, link);
            pos_ = p + link.size();
            return;
        }
        const std::size_t close = space == npos ? npos : text_.find(']', space);
        if (close == npos) {
            pos_ = p;  // the "[" stays; the URL is taken in the bare form
            return;
        }
        const std::size_t tailFromEnd = text_.size() - (close + 1);
        text_.replace(close, 1, "</a>");
        text_.replace(space, 1, mid);
        text_.insert(p, open);
        text_.erase(p - 1, 1);
        pos_ = text_.size() - tailFromEnd;
    }

    RefState& st_;
    const RefOptions& opt_;
    std::string& out_;
    std::string& text_;
    std::size_t pos_ = 0;
    std::size_t commentStart_ = 0;
    bool ended_ = false;
    std::size_t regionEndFromEnd_ = 0;
    int regionDepth_ = 0;
};

const char* rawName(RawMode m) {
    switch (m) {
        case RawMode::Normal: return "Normal";
        case RawMode::Nowiki: return "Nowiki";
        case RawMode::PreBlock: return "PreBlock";
    }
    return "?";
}

const char* blockName(BlockMode m) {
    switch (m) {
        case BlockMode::None: return "None";
        case BlockMode::Paragraph: return "Paragraph";
        case BlockMode::List: return "List";
        case BlockMode::PreTag: return "PreTag";
        case BlockMode::PreIndent: return "PreIndent";
    }
    return "?";
}

// Bytes shown so that every one is visible: controls and non-ASCII as \xNN.
std::string visible(std::string_view s) {
    std::string r = "\"";
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            r += '\\';
            r += c;
        } else if (u < 32 || u > 126) {
            static const char* hex = "0123456789abcdef";
            r += "\\x";
            r += hex[u >> 4];
            r += hex[u & 15];
        } else {
            r += c;
        }
    }
    return r + "\"";
}

}  // namespace

void formatInlineReference(RefState& state, const RefOptions& options, std::string& out, std::string& text) {
    Scan(state, options, out, text).run();
}

// ---- side by side ----

StartState StartState::fromByte(std::uint8_t b) {
    StartState s;
    s.italicOpen = b & 1;
    s.boldOpen = b & 2;
    s.inComment = b & 4;
    static constexpr RawMode kRaw[] = {RawMode::Normal, RawMode::Nowiki, RawMode::PreBlock, RawMode::Normal};
    s.rawMode = kRaw[(b >> 3) & 3];
    s.blockMode = static_cast<BlockMode>((b >> 5) % 5);
    if (s.blockMode == BlockMode::List) s.listPrefix = "*#;:";
    return s;
}

std::string StartState::describe() const {
    std::string r = "italicOpen=" + std::to_string(italicOpen) + " boldOpen=" + std::to_string(boldOpen) +
                    " inComment=" + std::to_string(inComment) + " rawMode=" + rawName(rawMode) +
                    " blockMode=" + blockName(blockMode);
    if (!listPrefix.empty()) r += " listPrefix=" + visible(listPrefix);
    return r;
}

std::string Outcome::describe() const {
    std::string r = "  text: " + visible(text) + "\n  out:  " + visible(out) + "\n  state: italicOpen=" +
                    std::to_string(italicOpen) + " boldOpen=" + std::to_string(boldOpen) +
                    " inComment=" + std::to_string(inComment) + " rawMode=" + rawName(rawMode) +
                    " blockMode=" + blockName(blockMode) + " listPrefix=" + visible(listPrefix) +
                    " diagramOpen=" + std::to_string(diagramOpen) + "\n";
    if (!dot.empty() || !diagramName.empty())
        r += "  diagram: name=" + visible(diagramName) + " quickgv=" + std::to_string(quickgv) + " dot=" + visible(dot) +
             "\n";
    return r;
}

std::string differences(const Outcome& f, const Outcome& r) {
    std::string d;
    auto check = [&](bool same, const char* what) {
        if (!same) d += std::string(what) + " differs\n";
    };
    check(f.text == r.text, "text");
    check(f.out == r.out, "output stream");
    check(f.italicOpen == r.italicOpen, "italicOpen");
    check(f.boldOpen == r.boldOpen, "boldOpen");
    check(f.inComment == r.inComment, "inComment");
    check(f.rawMode == r.rawMode, "rawMode");
    check(f.blockMode == r.blockMode, "blockMode");
    check(f.listPrefix == r.listPrefix, "listPrefix");
    check(f.diagramOpen == r.diagramOpen, "diagramOpen");
    check(f.dot == r.dot, "dotText");
    check(f.diagramName == r.diagramName, "diagramName");
    check(f.quickgv == r.quickgv, "quickgvMode");
    return d;
}

SideBySide::SideBySide(const std::string& workDir, const RefOptions& options, const StartState& start)
    : options_(options) {
    BlockState& b = ctx_.block;
    b.italicOpen = ref_.italicOpen = start.italicOpen;
    b.boldOpen = ref_.boldOpen = start.boldOpen;
    b.inComment = ref_.inComment = start.inComment;
    b.rawMode = ref_.rawMode = start.rawMode;
    b.blockMode = ref_.blockMode = start.blockMode;
    b.listPrefix = ref_.listPrefix = start.listPrefix;
    ctx_.options.filePrefix = options.filePrefix;
    ctx_.options.genPrefix = options.genPrefix;
    ctx_.options.workDir = widen(workDir);
}

std::string SideBySide::step(const std::string& line) {
    Outcome& f = lastFast;
    f.text = line;
    PageOutput out;
    formatInline(ctx_, out, f.text);
    f.out = out.text();
    const BlockState& b = ctx_.block;
    f.italicOpen = b.italicOpen;
    f.boldOpen = b.boldOpen;
    f.inComment = b.inComment;
    f.diagramOpen = b.diagramOpen;
    f.rawMode = b.rawMode;
    f.blockMode = b.blockMode;
    f.listPrefix = b.listPrefix;
    f.dot = ctx_.diagram.dotText.data;
    f.diagramName = ctx_.diagram.diagramName;
    f.quickgv = ctx_.diagram.quickgvMode;

    Outcome& r = lastRef;
    r.text = line;
    r.out.clear();
    formatInlineReference(ref_, options_, r.out, r.text);
    r.italicOpen = ref_.italicOpen;
    r.boldOpen = ref_.boldOpen;
    r.inComment = ref_.inComment;
    r.diagramOpen = ref_.diagramOpen;
    r.rawMode = ref_.rawMode;
    r.blockMode = ref_.blockMode;
    r.listPrefix = ref_.listPrefix;
    r.dot = ref_.diagram.dot;
    r.diagramName = ref_.diagram.name;
    r.quickgv = ref_.diagram.quickgv;
    return differences(f, r);
}

std::string compareLines(const std::string& workDir, const RefOptions& options, const StartState& start,
                         const std::string* lines, std::size_t count) {
    SideBySide pair(workDir, options, start);
    for (std::size_t i = 0; i < count; ++i) {
        std::string diff = pair.step(lines[i]);
        if (diff.empty()) continue;
        std::string report = "starting state: " + start.describe() + "\n";
        if (!options.filePrefix.empty() || !options.genPrefix.empty())
            report += "filePrefix=" + visible(options.filePrefix) + " genPrefix=" + visible(options.genPrefix) + "\n";
        for (std::size_t j = 0; j <= i; ++j) report += "line " + std::to_string(j + 1) + ": " + visible(lines[j]) + "\n";
        report += diff + "fast:\n" + pair.lastFast.describe() + "reference:\n" + pair.lastRef.describe();
        return report;
    }
    return {};
}

std::vector<std::string> shrinkLines(const std::string& workDir, const RefOptions& options,
                                     const StartState& start, std::vector<std::string> lines) {
    auto differs = [&] { return !compareLines(workDir, options, start, lines.data(), lines.size()).empty(); };
    // Lines after the first one that differs play no part.
    while (lines.size() > 1) {
        std::string last = std::move(lines.back());
        lines.pop_back();
        if (!differs()) {
            lines.push_back(std::move(last));
            break;
        }
    }
    // Earlier lines may be dropped whole.
    for (std::size_t i = 0; lines.size() > 1 && i + 1 < lines.size();) {
        std::string kept = lines[i];
        lines.erase(lines.begin() + static_cast<long>(i));
        if (differs()) continue;
        lines.insert(lines.begin() + static_cast<long>(i), kept);
        ++i;
    }
    for (std::string& line : lines) {
        for (std::size_t chunk = std::max<std::size_t>(line.size() / 2, 1);; chunk /= 2) {
            for (std::size_t at = 0; at + chunk <= line.size();) {
                std::string kept = line;
                line.erase(at, chunk);
                if (differs()) continue;  // try the same place again
                line = kept;
                ++at;
            }
            if (chunk == 1) break;
        }
    }
    return lines;
}

}  // namespace tarvo::reference
