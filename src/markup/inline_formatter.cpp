// The inline formatter: emphasis, comments, nowiki spans, the escaping of "<"
// and ">", tags that pass through, preformatted blocks opened or closed inside
// a line, and diagram openings inside a line. Links and URLs are handed to the
// link handlers.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "diagram/diagram.h"
#include "markup/headings.h"
#include "markup/inline_scan.h"
#include "markup/markup.h"
#include "markup/safe_html.h"
#include "text/ascii.h"

namespace tarvo {

namespace {

bool isBlankOrClose(char c) { return c == ' ' || c == '>'; }
bool isBlankOrEnd(char c) { return c == ' ' || c == '/' || c == '>'; }

// Bytes that start something in normal text.
struct SpecialBytes {
    bool normal[256] = {};
    bool raw[256] = {};
    bool tagStart[256] = {};
    constexpr SpecialBytes() {
        for (unsigned char c : {'\'', '<', '[', 'h', 'H', '_'}) normal[c] = true;
        for (int c = 'a'; c <= 'z'; ++c) tagStart[c] = tagStart[c - 32] = true;
        tagStart[static_cast<unsigned char>('/')] = tagStart[static_cast<unsigned char>('!')] = true;
        raw[static_cast<unsigned char>('<')] = true;
        raw[static_cast<unsigned char>('>')] = true;
    }
};
constexpr SpecialBytes kSpecial;

// Text is skipped eight bytes at a time while none of them can be special: a
// byte equal to the one looked for becomes zero after the XOR, and the
// zero-byte test marks it (marks above a real one may be false: the bytes of
// a marked word are then looked at one by one).
constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;

std::uint64_t has(std::uint64_t word, char c) {
    const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(c));
    return (x - kOnes) & ~x & kHighs;
}

std::uint64_t wordAt(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    return word;
}

}  // namespace

// ---- tags ----

bool isPreOpen(std::string_view t) {
    return (startsNoCase(t, "<pre") && t.size() > 4 && isBlankOrClose(t[4])) ||
           (startsNoCase(t, "<source") && t.size() > 7 && isBlankOrClose(t[7]));
}

bool isPreClose(std::string_view t) {
    return (startsNoCase(t, "</pre") && t.size() > 5 && isBlankOrClose(t[5])) ||
           (startsNoCase(t, "</source") && t.size() > 8 && isBlankOrClose(t[8]));
}

namespace {

// The tags that pass through, by the first letter of their name: their
// places in kAllowedTags, -1 after the last.
struct PassingByLetter {
    std::int8_t tags[26][4];
    constexpr PassingByLetter() : tags{} {
        for (auto& group : tags)
            for (std::int8_t& tag : group) tag = -1;
        for (std::size_t i = 0; i < kAllowedTagCount; ++i) {
            if (!kAllowedTags[i].passes) continue;
            std::int8_t* group = tags[kAllowedTags[i].name[0] - 'a'];
            while (*group >= 0) ++group;
            *group = static_cast<std::int8_t>(i);
        }
    }
};
constexpr PassingByLetter kPassing;

}  // namespace

namespace {

// The place in kAllowedTags of the tag that passes through at the start of
// t, or -1.
int passingTag(std::string_view t) {
    const std::size_t name = t.size() > 1 && t[1] == '/' ? 2 : 1;
    if (name >= t.size()) return -1;
    const char first = lower(t[name]);
    if (first < 'a' || first > 'z') return -1;
    const std::string_view rest = t.substr(name);
    for (const std::int8_t tag : kPassing.tags[first - 'a']) {
        if (tag < 0) return -1;
        // The name, then a blank, "/" or ">".
        const std::string_view listed = kAllowedTags[tag].name;
        if (rest.size() > listed.size() && startsNoCase(rest, listed) && isBlankOrEnd(rest[listed.size()]))
            return tag;
    }
    return -1;
}

}  // namespace

bool isPassThroughTag(std::string_view t) { return passingTag(t) >= 0; }

// ---- the scan ----

namespace {

// The scan hands its translation to the output in pieces of about this
// size.
constexpr std::size_t kHandOver = 64 * 1024;

}  // namespace

InlineScan::InlineScan(InlineContext& ctx, BlockEvents& events, PageEvents& page, PageOutput& out,
                       std::string_view text)
    : ctx_(ctx),
      events_(events),
      page_(page),
      out_(out),
      done_(ctx.buffers.done),
      data_(text.data()),
      size_(text.size()),
      input_(ctx.buffers.input) {
    done_.clear();
    // Room for a line that grows as markup is written out, so that a line is
    // seldom moved while it is translated.
    const std::size_t room = std::min(text.size(), kHandOver) * 2;
    if (done_.capacity() < room) done_.reserve(room);
}

void InlineScan::pushBack(std::string_view text) {
    const std::size_t resumeFromEnd = left();  // where the unchanged input resumes
    if (ownInput_ && text.size() <= next_) {
        next_ -= text.size();
        std::memcpy(input_.get() + next_, text.data(), text.size());
    } else {
        // Make room in front, as much again as is needed, so that further
        // push-backs rarely move the rest of the line. The room is touched
        // only as push-backs fill it.
        const std::size_t rest = left();
        const std::size_t room = text.size() + rest + 64;
        std::unique_ptr<char[]> grown(new char[room + text.size() + rest]);
        std::memcpy(grown.get() + room, text.data(), text.size());
        std::memcpy(grown.get() + room + text.size(), data_ + next_, rest);
        input_ = std::move(grown);
        ownInput_ = true;
        data_ = input_.get();
        size_ = room + text.size() + rest;
        next_ = room;
    }
    // What a finder knows of bytes before the old scan position no longer holds.
    for (Finder* f : {&closeBrackets, &closeAngle, &closeBracket}) f->replacedBefore(resumeFromEnd);
}

int InlineScan::linkDepthHere() const {
    return left() > linkRegionEndFromEnd_ ? linkRegionDepth_ : 0;
}

void InlineScan::markLinkRegion(std::size_t resumeFromEnd, int depth) {
    linkRegionEndFromEnd_ = resumeFromEnd;
    linkRegionDepth_ = depth;
}

void InlineScan::run() {
    InlineState& st = state();
    if (st.inComment) commentStart_ = 0;
    while (next_ < size_) {
        if (st.inComment) {
            commentStep();
        } else if (st.rawMode != RawMode::Normal) {
            rawStep();
        } else {
            normalStep();
        }
        // Text before an open comment may still be dropped: it waits.
        if (done_.size() >= kHandOver && !st.inComment) {
            out_.write(done_);
            done_.clear();
        }
    }
    if (st.inComment) done_.resize(std::min(done_.size(), commentStart_));
}

void InlineScan::commentStep() {
    std::size_t end = rest().find("-->");
    if (end == npos) {
        next_ = size_;
        return;
    }
    done_.resize(std::min(done_.size(), commentStart_));
    next_ += end + 3;
    state().inComment = false;
}

std::size_t rawPlainLength(std::string_view text) {
    const char* p = text.data();
    const char* end = p + text.size();
    const char* q = p;
#if defined(__SSE2__) && !defined(TARVO_PORTABLE)
    while (end - q >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')), _mm_cmpeq_epi8(v, _mm_set1_epi8('>')))));
        if (mask != 0) return static_cast<std::size_t>(q + std::countr_zero(mask) - p);
        q += 16;
    }
#endif
    while (end - q >= 8 && !(has(wordAt(q), '<') | has(wordAt(q), '>'))) q += 8;
    while (q < end && !kSpecial.raw[static_cast<unsigned char>(*q)]) ++q;
    return static_cast<std::size_t>(q - p);
}

void InlineScan::rawStep() {
    if (const std::size_t plain = rawPlainLength(rest())) {
        pass(plain);
        return;
    }
    if (at(0) == '>') {
        emit("&gt;");
        consume(1);
        return;
    }
    angle();
}

namespace {

bool startsHttp(const char* at, const char* end) {
    return end - at >= 4 && (at[0] | 0x20) == 'h' && lower(at[1]) == 't' && lower(at[2]) == 't' &&
           lower(at[3]) == 'p';
}

// The byte at `at` starts something in normal text. Some bytes matter only
// with what follows: an "h" where "http" begins, a "[" before "[" or "http",
// an apostrophe before another.
bool startsConstruct(const char* at, const char* end, bool contentsWords) {
    const unsigned char c = static_cast<unsigned char>(*at);
    if (!kSpecial.normal[c]) return false;
    switch (c) {
        case 'h':
        case 'H': return startsHttp(at, end);
        case '[': return end - at >= 2 && (at[1] == '[' || startsHttp(at + 1, end));
        case '\'': return end - at >= 2 && at[1] == '\'';
        case '_': return contentsWords && end - at >= 2 && at[1] == '_';
        default: return true;
    }
}

}  // namespace

std::size_t plainLength(std::string_view text, bool contentsWords) {
    const char* p = text.data();
    const char* end = p + text.size();
    const char* q = p;
    auto special = [&](const char* at) { return startsConstruct(at, end, contentsWords); };
#if defined(__SSE2__) && !defined(TARVO_PORTABLE)
    // Sixteen bytes at a time: a mask of the bytes that may start something,
    // each then looked at by itself. An "h" counts only before a "t", an
    // apostrophe only before another, a "[" only before "[" or "h"; the last
    // byte of the sixteen always counts, as what follows it is not in view.
    const __m128i lowerCase = _mm_set1_epi8(0x20);
    while (end - q >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const __m128i lowered = _mm_or_si128(v, lowerCase);
        const auto maskOf = [&](__m128i bytes, char c) {
            return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
        };
        const unsigned h = maskOf(lowered, 'h'), t = maskOf(lowered, 't'), quote = maskOf(v, '\''),
                       open = maskOf(v, '[');
        unsigned mask = maskOf(v, '<') | (h & ((t >> 1) | 0x8000u)) | (quote & ((quote >> 1) | 0x8000u)) |
                        (open & (((open | h) >> 1) | 0x8000u));
        if (contentsWords) {
            const unsigned low = maskOf(v, '_');
            mask |= low & ((low >> 1) | 0x8000u);
        }
        for (; mask != 0; mask &= mask - 1) {
            const char* at = q + std::countr_zero(mask);
            if (special(at)) return static_cast<std::size_t>(at - p);
        }
        q += 16;
    }
    // The rest, fewer than sixteen bytes, one by one.
    for (; q < end; ++q)
        if (special(q)) return static_cast<std::size_t>(q - p);
    return text.size();
#else
    for (;;) {
        while (end - q >= 8) {
            const std::uint64_t word = wordAt(q);
            if (has(word, '\'') | has(word, '<') | has(word, '[') | has(word | (kOnes * 0x20), 'h') |
                (contentsWords ? has(word, '_') : 0))
                break;
            q += 8;
        }
        const char* stop = end - q >= 8 ? q + 8 : end;
        for (; q < stop; ++q)
            if (special(q)) return static_cast<std::size_t>(q - p);
        if (q == end) return static_cast<std::size_t>(q - p);
    }
#endif
}

void InlineScan::normalStep() {
    // The scan mostly stands where the last plain run stopped, at a byte that
    // starts something: one look at it spares the search for the next one.
    const char* q = data_ + next_;
    if (!startsConstruct(q, data_ + size_, options().contents)) {
        pass(plainLength(rest(), options().contents));
        return;
    }
    switch (*q) {
        case '\'': emphasis(); break;
        case '<': {
            // A "<" not followed by a letter, "/" or "!" begins no construct.
            // At most a hand-over's worth per step, so that the scan can pass
            // it on.
            std::size_t n = 0;
            while (n < kHandOver / 4 && at(n) == '<' && !kSpecial.tagStart[static_cast<unsigned char>(at(n + 1))]) ++n;
            if (n == 0) return angle();
            static constexpr std::string_view kRun = "&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;";
            done_.reserve(done_.size() + 4 * n);
            for (std::size_t k = 0; k < n; k += 16) done_.append(kRun.substr(0, 4 * std::min<std::size_t>(16, n - k)));
            consume(n);
            break;
        }
        case '[': formatBracket(*this); break;
        case '_': contentsWord(); break;
        default: formatBareUrl(*this); break;
    }
}

// A word about the table of contents is taken out of the text; the page
// hears of it once the text before it is written out, so that __TOC__
// places the table there. Inside a link it places nothing (the table's links
// would stand in that link): the page then has its table all the same.
void InlineScan::contentsWord() {
    ContentsWord word;
    const std::size_t length = contentsWordAt(rest(), word);
    if (length == 0) {
        pass(1);
        return;
    }
    consume(length);
    if (word == ContentsWord::Here && (linkDepthHere() > 0 || state().openTags.count[kTagA] > 0))
        word = ContentsWord::Always;
    out_.write(done_);
    done_.clear();
    page_.contentsWord(word);
}

void InlineScan::emphasis() {
    if (at(1) != '\'') {
        pass(1);
        return;
    }
    InlineState& st = state();
    if (at(2) == '\'') {
        consume(3);
        emit(st.boldOpen ? "</b>" : "<b>");
        st.boldOpen = !st.boldOpen;
    } else {
        consume(2);
        emit(st.italicOpen ? "</i>" : "<i>");
        st.italicOpen = !st.italicOpen;
    }
}

// A tag that passes into the page unchanged; a passing "</pre>" also ends a
// preformatted block. With --safe the tag is read whole and written again.
bool InlineScan::passThrough(std::string_view text) {
    const int tag = passingTag(text);
    if (tag < 0) return false;
    if (options().safe) {
        safeTag(tag);
        return true;
    }
    if (text[1] == '/' && isPreClose(text)) {
        state().rawMode = RawMode::Normal;
        events_.preClosed();
    }
    pass(1);
    return true;
}

// A tag of the list read whole: written back with the attributes it keeps,
// opened or closed on the stack of open tags; a closing tag with no open
// partner, or a link opened inside a link, is written as text.
void InlineScan::safeTag(int tag) {
    const std::string_view text = rest();
    const bool closing = text[1] == '/';
    const std::size_t nameAt = closing ? 2 : 1;
    const std::size_t nameEnd = nameAt + kAllowedTags[tag].name.size();
    const std::string_view name = text.substr(nameAt, nameEnd - nameAt);
    OpenTags& open = state().openTags;
    const bool asText = closing ? open.count[tag] == 0 : tag == kTagA && open.count[kTagA] > 0;
    const std::size_t mark = done_.size();
    std::size_t length = npos;
    bool selfClosing = false;
    if (!tagsEnded_) {
        if (closing || asText) {
            length = tagLength(text.substr(nameEnd));
        } else {
            done_ += '<';
            done_ += name;
            length = appendAllowedAttributes(done_, tag, text.substr(nameEnd), false, selfClosing, decoded());
        }
    }
    if (length == npos) {
        done_.resize(mark);
        tagsEnded_ = true;
        emit("&lt;");
        consume(1);
        return;
    }
    length += nameEnd;
    if (asText) {
        appendText(done_, text.substr(0, length));
    } else if (closing) {
        closeTagsTo(open, tag, name, done_);
    } else {
        const bool isVoid = kAllowedTags[tag].isVoid;
        done_ += isVoid && selfClosing ? "/>" : ">";
        if (!isVoid) openTag(open, tag, name);
    }
    consume(length);
}

void InlineScan::angle() {
    InlineState& st = state();
    std::string_view text = rest();
    // Every construct below needs a letter, "/" or "!" after the "<"; the
    // letters tell which constructs can apply at all.
    const char next = lower(at(1));
    if (st.rawMode == RawMode::Normal && next != '!' && next != 'p' && next != 's' && next != 'g' &&
        next != 'q' && next != 'n') {
        if (!passThrough(text)) {
            emit("&lt;");
            consume(1);
        }
        return;
    }
    if (st.rawMode == RawMode::Normal && text.substr(0, 4) == "<!--") {
        commentStart_ = position();
        pass(4);
        st.inComment = true;
        return;
    }
    // A nowiki tag opens raw text outside it or ends it inside; the tag, up
    // to its ">", is dropped.
    const bool nowikiOpen = st.rawMode != RawMode::Nowiki && startsNoCase(text, "<nowiki");
    if (nowikiOpen || (st.rawMode != RawMode::Normal && startsNoCase(text, "</nowiki"))) {
        if (nowikiOpen && st.rawMode == RawMode::Normal) st.rawMode = RawMode::Nowiki;
        if (!nowikiOpen && st.rawMode == RawMode::Nowiki) st.rawMode = RawMode::Normal;
        std::size_t gt = find(closeAngle, nowikiOpen ? 7 : 1);
        if (gt == npos && options().safe) {
            // Nothing of the text passes unread: the tag stays as text.
            emit("&lt;");
            consume(1);
            return;
        }
        if (gt == npos) return stop();
        consume(gt + 1);
        return;
    }
    if (st.rawMode == RawMode::PreBlock && isPreClose(text)) {
        st.rawMode = RawMode::Normal;
        events_.preClosed();
        if (options().safe) return safePreClose();
        std::size_t gt = find(closeAngle, 1);
        if (text[2] == 's') {
            emit("</pre");
            consume(8);
            if (gt != npos) gt -= 8;
        }
        if (gt == npos) return stop();
        pass(gt + 1);
        return;
    }
    if (st.rawMode != RawMode::Normal) {
        emit("&lt;");
        consume(1);
        return;
    }
    if (isPreOpen(text)) return preOpen();
    if (diagramOpen() || passThrough(text)) return;
    emit("&lt;");
    consume(1);
}

// A "<pre" or "<source" tag inside a line opens a preformatted block.
void InlineScan::preOpen() {
    // What the line made before the tag goes before the block's end.
    if (events_.blockOpen()) {
        out_.write(done_);
        done_.clear();
    }
    const bool alreadyOpen = events_.preOpened();
    state().rawMode = RawMode::PreBlock;
    if (options().safe) return safePreOpen(alreadyOpen);
    std::size_t gt = find(closeAngle, 0);
    if (gt == npos) {
        // Without its ">" the tag and what follows stay as written, or go
        // with the tag when a block was already open.
        if (alreadyOpen) consume(left());
        else stop();
        return;
    }
    if (alreadyOpen) {
        consume(gt + 1);
    } else if (at(1) == 's') {
        emit("<pre");
        consume(7);
        pass(gt + 1 - 7);
    } else {
        pass(gt + 1);
    }
}

// The "<pre" or "<source" tag that opens a block, with --safe: written as
// "<pre" with the attributes a pre keeps, or dropped when a block was open
// already; without its end, the block opens and the tag is text in it.
void InlineScan::safePreOpen(bool alreadyOpen) {
    const std::size_t mark = done_.size();
    const std::size_t length = tagsEnded_ ? npos : appendPreTag(done_, rest(), decoded());
    if (alreadyOpen) {
        done_.resize(mark);
        consume(length == npos ? left() : length);
    } else if (length == npos) {
        tagsEnded_ = true;
        emit("<pre>&lt;");
        consume(1);
    } else {
        consume(length);
    }
}

// The "</pre" or "</source" tag that ends a preformatted block, with --safe:
// "</pre>" in its place.
void InlineScan::safePreClose() {
    emit("</pre>");
    const std::size_t nameLength = lower(at(2)) == 's' ? 8 : 5;
    const std::size_t length = tagsEnded_ ? npos : tagLength(rest().substr(nameLength));
    if (length == npos) tagsEnded_ = true;
    consume(nameLength + (length == npos ? 0 : length));
}

bool InlineScan::diagramOpen() {
    std::size_t nameLength = diagramTagNameLength(rest());
    if (nameLength == 0) return false;
    std::size_t gt = find(closeAngle, nameLength);
    if (gt == npos) return false;
    openDiagram(ctx_.diagram, rest().substr(0, gt + 1));
    consume(gt + 1);
    consume(captureDiagramText(ctx_.diagram, rest(), page_));
    if (options().safe) {
        appendPictureImage(done_, pictureName(ctx_.options.genPrefix, ctx_.diagram.diagramName), decoded());
        return true;
    }
    pushBack(diagramImage(ctx_.diagram, ctx_.options.genPrefix));
    pass(1);  // the inserted element is scanned from its second byte on
    return true;
}

// ---- entry point ----

std::string_view formatInline(InlineContext& ctx, BlockEvents& events, PageEvents& page, PageOutput& out,
                              std::string_view text, std::size_t plain) {
    InlineScan scan(ctx, events, page, out, text);
    scan.pass(plain);
    scan.run();
    return scan.result();
}

}  // namespace tarvo
