// Internal links, images and external links, found by the inline scan at "["
// and at "h"/"H".
#include <climits>
#include <string>

#include "markup/headings.h"
#include "markup/inline_scan.h"
#include "markup/markup.h"
#include "markup/safe_html.h"
#include "text/ascii.h"

namespace tarvo {

namespace {

bool endsWithHtml(std::string_view t) {
    return t.size() >= 5 && equalsNoCase(t.substr(t.size() - 5), ".html");
}

// Reads the digits at the start of s (at least one); values past the 32-bit
// range read as INT_MAX.
int readNumber(std::string_view& s) {
    long long value = 0;
    std::size_t i = 0;
    while (i < s.size() && isDigit(s[i])) {
        if (value <= INT_MAX) value = value * 10 + (s[i] - '0');
        ++i;
    }
    s.remove_prefix(i);
    s = trimmedLeft(s);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// A size option: "200px", "x100px", "200x100px", "200 x 100 px".
void readSize(std::string_view s, int& width, int& height) {
    int w = width, h = height;
    if (!s.empty() && (isDigit(s[0]) || s[0] == 'x' || s[0] == 'X')) {
        if (isDigit(s[0])) w = readNumber(s);
        if (!s.empty() && (s[0] == 'x' || s[0] == 'X')) {
            s.remove_prefix(1);
            s = trimmedLeft(s);
        }
    }
    if (!s.empty() && isDigit(s[0])) h = readNumber(s);
    if (equalsNoCase(s, "px")) {
        width = w;
        height = h;
    }
}

bool isPlacementWord(std::string_view option) {
    static constexpr std::string_view kWords[] = {"left",  "right",    "center", "none",   "baseline",
                                                   "sub",   "super",    "top",    "text-top", "middle",
                                                   "bottom", "text-bottom", "upright"};
    for (std::string_view w : kWords)
        if (equalsNoCase(option, w)) return true;
    return false;
}

void formatImage(InlineScan& scan, std::string_view inner) {
    inner.remove_prefix(5);  // "file:"
    std::size_t bar = inner.find('|');
    std::string_view name = inner.substr(0, bar);
    int width = -1, height = -1;
    while (bar != std::string_view::npos) {
        std::size_t from = bar + 1;
        bar = inner.find('|', from);
        std::string_view option = trimmed(inner.substr(from, bar - from));
        if (option.empty() || isPlacementWord(option)) continue;
        if (option.size() >= 3 && equalsNoCase(option.substr(option.size() - 2), "px"))
            readSize(option, width, height);
    }
    scan.emit("<img src=\"");
    if (scan.options().safe) {
        std::string& src = scan.scratch();
        src = scan.options().filePrefix;
        src += name;
        appendAddress(scan.translated(), src, scan.decoded());
    } else {
        scan.emit(scan.options().filePrefix);
        scan.emit(name);
    }
    if (width >= 0) {
        scan.emit("\" width=\"");
        scan.emit(std::to_string(width));
    }
    if (height >= 0) {
        scan.emit("\" height=\"");
        scan.emit(std::to_string(height));
    }
    scan.emit("\"/>");
}

// The parts of an internal link: its target, whether ".html" goes after
// it, and its label.
struct LinkParts {
    std::string_view target;
    bool addHtml;
    std::string_view label;
};

// Reads the inner text of an internal link and hands its parts to use. The
// anchor "#" is looked for in the target only (before the first "|"), so a
// "#" in a label is plain text.
template <typename Use>
void readInternalLink(std::string_view innerView, Use&& use) {
    std::string inner(innerView);
    std::size_t bar = inner.find('|');
    std::size_t hash = inner.substr(0, bar).find('#');
    const bool anchored = hash != std::string::npos;
    std::size_t insertedAt = std::string::npos;
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
            insertedAt = hash;
        }
    }
    std::string_view rewritten(inner);
    bar = rewritten.find('|');
    std::string_view target, label;
    std::string labelWithoutSuffix;
    if (bar != std::string_view::npos) {
        label = rewritten.substr(bar + 1);
        while (!label.empty() && label.front() == ' ') label.remove_prefix(1);
        target = trimmedRight(rewritten.substr(0, bar));
    } else {
        target = rewritten;
        labelWithoutSuffix = inner;
        if (insertedAt != std::string::npos) labelWithoutSuffix.erase(insertedAt, 5);
        label = labelWithoutSuffix;
    }
    use(LinkParts{target, !anchored && !endsWithHtml(target), label});
}

// <a href="target">label</a>, the whole link to be scanned again. With
// heading ids the fragment is written as a heading's id is.
void buildInternalLink(std::string_view inner, std::string& link, bool headingIds) {
    readInternalLink(inner, [&](const LinkParts& parts) {
        link.assign("<a href=\"");
        if (headingIds) appendTargetWithFragment(link, parts.target);
        else link.append(parts.target);
        if (parts.addHtml) link.append(".html");
        link.append("\">");
        link.append(parts.label);
        link.append("</a>");
    });
}

// With --safe the start of the link is written at once, its address
// checked and escaped; only the label, then "</a>", is left in text to be
// scanned. Inside another link no link is made: the label is left alone.
void buildSafeLink(InlineScan& scan, std::string_view inner, std::string& text) {
    OpenTags& open = scan.state().openTags;
    readInternalLink(inner, [&](const LinkParts& parts) {
        text.assign(parts.label);
        if (open.count[kTagA] > 0) return;
        std::string& out = scan.translated();
        out += "<a href=\"";
        if (scan.options().headingIds) {
            std::string target;
            appendTargetWithFragment(target, parts.target);
            appendAddress(out, target, scan.decoded());
        } else {
            appendAddress(out, parts.target, scan.decoded());
        }
        if (parts.addHtml) out += ".html";
        out += "\">";
        openTag(open, kTagA, "a");
        text += "</a>";
    });
}

// At "[[" with "]]" at offset close: the link or image, removed and replaced.
void formatWikiLink(InlineScan& scan, std::size_t close) {
    const int depth = scan.linkDepthHere();
    std::string_view inner = trimmed(scan.rest().substr(2, close - 2));
    if (inner.size() >= 5 && equalsNoCase(inner.substr(0, 4), "file") && inner[4] == ':') {
        std::string name(inner);  // the input is consumed below
        scan.consume(close + 2);
        formatImage(scan, name);
        return;
    }
    std::string& link = scan.scratch();
    const bool safe = scan.options().safe;
    if (safe) buildSafeLink(scan, inner, link);
    else buildInternalLink(inner, link, scan.options().headingIds);
    scan.consume(close + 2);
    const std::size_t resumeFromEnd = scan.left();
    // The inserted link is scanned again from its second byte.
    scan.pushBack(std::string_view(link).substr(safe ? 0 : 1));
    if (!safe) scan.emit('<');
    scan.markLinkRegion(resumeFromEnd, depth + 1);
}

bool isHttp(std::string_view t) {
    return t.size() >= 4 && equalsNoCase(t.substr(0, 4), "http");
}

void emitLinkStart(InlineScan& scan, std::string_view url) {
    scan.emit("<a class=\"extlink\" href=\"");
    if (scan.options().safe) appendValue(scan.translated(), url);
    else scan.emit(url);
    scan.emit("\" target=\"_blank\">");
}

// The text of an external link, which is never scanned: with --safe its
// "<" and ">" are escaped.
void emitLinkText(InlineScan& scan, std::string_view text) {
    if (scan.options().safe) appendText(scan.translated(), text);
    else scan.emit(text);
}

// With --safe no link is made inside a link.
bool insideLink(InlineScan& scan) {
    return scan.options().safe && scan.state().openTags.count[kTagA] > 0;
}

// An external link at offset u from the scan position (u = 1 when a "[" stands
// at the scan position).
void formatExternalLink(InlineScan& scan, bool bracket) {
    const std::size_t u = bracket ? 1 : 0;
    std::string_view text = scan.rest();
    std::size_t q = u + 4;
    if (q < text.size() && (text[q] == 's' || text[q] == 'S')) ++q;
    if (text.substr(q, 3) != "://") {
        scan.pass(q);
        return;
    }
    std::size_t space = text.find(' ', q + 3);
    std::size_t urlEnd = space == std::string_view::npos ? text.size() : space;
    std::string_view url = text.substr(u, urlEnd - u);
    if (bracket) {
        std::size_t close = space == std::string_view::npos ? InlineScan::npos : scan.find(scan.closeBracket, space);
        if (close == InlineScan::npos) {
            scan.pass(1);  // the "[" stays; the URL is taken in the bare form next
            return;
        }
        emitLinkStart(scan, url);
        emitLinkText(scan, text.substr(space + 1, close - space - 1));
        scan.emit("</a>");
        scan.consume(close + 1);
        return;
    }
    emitLinkStart(scan, url);
    emitLinkText(scan, url);
    scan.emit("</a>");
    scan.consume(urlEnd);
}

}  // namespace

void formatBracket(InlineScan& scan) {
    if (scan.at(1) == '[') {
        // With --safe a "[[" in a link's label is text: no link goes inside
        // another, and the label ends before any "]]".
        const int deepest = scan.options().safe ? 1 : InlineScan::kMaxLinkNesting;
        if (scan.at(2) != '[' && scan.linkDepthHere() < deepest) {
            std::size_t close = scan.find(scan.closeBrackets, 2);
            if (close != InlineScan::npos) return formatWikiLink(scan, close);
        }
        scan.pass(1);
        return;
    }
    if (isHttp(scan.rest().substr(1)) && !insideLink(scan)) return formatExternalLink(scan, true);
    scan.pass(1);
}

void formatBareUrl(InlineScan& scan) {
    if (isHttp(scan.rest()) && !insideLink(scan)) return formatExternalLink(scan, false);
    scan.pass(1);
}

}  // namespace tarvo
