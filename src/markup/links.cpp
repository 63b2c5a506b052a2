// Internal links, images and external links, found by the inline scan at "["
// and at "h"/"H".
#include <climits>
#include <string>

#include "markup/inline_scan.h"
#include "markup/markup.h"
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
    scan.emit(scan.options().filePrefix);
    scan.emit(name);
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

// Builds <a href="target">label</a> from the inner text of an internal link.
// The anchor "#" is looked for in the target only (before the first "|"), so a
// "#" in a label is plain text.
void buildInternalLink(std::string_view innerView, std::string& link) {
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
    link.assign("<a href=\"");
    link.append(target);
    if (!anchored && !endsWithHtml(target)) link.append(".html");
    link.append("\">");
    link.append(label);
    link.append("</a>");
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
    buildInternalLink(inner, link);
    scan.consume(close + 2);
    const std::size_t resumeFromEnd = scan.left();
    // The inserted link is scanned again from its second byte.
    scan.pushBack(std::string_view(link).substr(1));
    scan.emit('<');
    scan.markLinkRegion(resumeFromEnd, depth + 1);
}

bool isHttp(std::string_view t) {
    return t.size() >= 4 && equalsNoCase(t.substr(0, 4), "http");
}

void emitLinkStart(InlineScan& scan, std::string_view url) {
    scan.emit("<a class=\"extlink\" href=\"");
    scan.emit(url);
    scan.emit("\" target=\"_blank\">");
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
        scan.emit(text.substr(space + 1, close - space - 1));
        scan.emit("</a>");
        scan.consume(close + 1);
        return;
    }
    emitLinkStart(scan, url);
    scan.emit(url);
    scan.emit("</a>");
    scan.consume(urlEnd);
}

}  // namespace

void formatBracket(InlineScan& scan) {
    if (scan.at(1) == '[') {
        if (scan.at(2) != '[' && scan.linkDepthHere() < InlineScan::kMaxLinkNesting) {
            std::size_t close = scan.find(scan.closeBrackets, 2);
            if (close != InlineScan::npos) return formatWikiLink(scan, close);
        }
        scan.pass(1);
        return;
    }
    if (isHttp(scan.rest().substr(1))) return formatExternalLink(scan, true);
    scan.pass(1);
}

void formatBareUrl(InlineScan& scan) {
    if (isHttp(scan.rest())) return formatExternalLink(scan, false);
    scan.pass(1);
}

}  // namespace tarvo
