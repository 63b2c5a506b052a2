// UTF-8 and UTF-16 conversions.
#include "text/utf.h"

namespace tarvo {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The units that stand for a byte kept aside: bytes that are not UTF-8, and
// "\\" as a character of a listed name (see the POSIX platform layer).
bool isKeptByte(char16_t u) { return (u >= 0xDC80 && u <= 0xDCFF) || u == 0xDC00 + '\\'; }

}  // namespace

WString widen(std::string_view ascii) {
    WString out;
    out.reserve(ascii.size());
    for (unsigned char c : ascii) out.push_back(c);
    return out;
}

void appendUtf8(std::string& out, std::uint32_t v) {
    if (v < 0x80) {
        out.push_back(static_cast<char>(v));
    } else if (v < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (v >> 6)));
        out.push_back(static_cast<char>(0x80 | (v & 0x3F)));
    } else if (v < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (v >> 12)));
        out.push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (v & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (v >> 18)));
        out.push_back(static_cast<char>(0x80 | ((v >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (v & 0x3F)));
    }
}

// ---- UTF-16 to UTF-8 ----

void Utf8Encoder::put(std::string& out, char16_t u) {
    if (pendingHigh_) {
        if (isLow(u)) {
            appendUtf8(out, 0x10000 + ((std::uint32_t(pendingHigh_) - 0xD800) << 10) + (u - 0xDC00));
            pendingHigh_ = 0;
            return;
        }
        appendUtf8(out, kReplacement);
        pendingHigh_ = 0;
    }
    if (isHigh(u)) {
        pendingHigh_ = u;
    } else if (rules_.keepBytes && isKeptByte(u)) {
        out.push_back(static_cast<char>(u - 0xDC00));
    } else if (isLow(u)) {
        appendUtf8(out, kReplacement);
    } else if (rules_.foldFullwidth && u >= 0xFF00 && u <= 0xFF5E) {
        out.push_back(static_cast<char>(u - 0xFEE0));
    } else {
        appendUtf8(out, u);
    }
}

void Utf8Encoder::finish(std::string& out) {
    if (pendingHigh_) appendUtf8(out, kReplacement);
    pendingHigh_ = 0;
}

std::string utf8Of(std::u16string_view text, Utf16Rules rules) {
    // Names are mostly ASCII: the leading ASCII units go across as they are.
    std::size_t ascii = 0;
    while (ascii < text.size() && text[ascii] < 0x80) ++ascii;
    std::string out(ascii, '\0');
    for (std::size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(text[i]);
    if (ascii == text.size()) return out;
    out.reserve(text.size() + text.size() / 2);
    Utf8Encoder encoder(rules);
    for (char16_t u : text.substr(ascii)) encoder.put(out, u);
    encoder.finish(out);
    return out;
}

// ---- UTF-8 to UTF-16 ----

namespace {

// One step of decoding at bytes[at]: a well-formed character, or a
// malformed sequence to be replaced as a whole.
struct Utf8Step {
    std::size_t length;  // the bytes the step takes, at least one
    bool wellFormed;
    std::uint32_t codePoint;  // when well-formed
};

// The one rule for what is well-formed: a lead byte, as many continuation
// bytes (10xxxxxx) as it announces, and a value that is the shortest form of
// a character up to U+10FFFF and no surrogate. A malformed sequence is the
// lead with the continuation bytes that follow it, up to as many as the lead
// announces (F8-FD announce five and six, as the old UTF-8 did; a stray
// continuation byte, FE or FF stand alone). It never takes a byte that is not
// a continuation: that byte starts the next step, so a bad byte never costs
// the character after it.
Utf8Step decodeStep(std::string_view bytes, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) return {1, true, lead};
    std::size_t length = 0;
    std::uint32_t value = 0;
    if ((lead & 0xE0) == 0xC0) length = 2, value = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0) length = 3, value = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0) length = 4, value = lead & 0x07;
    else if ((lead & 0xFC) == 0xF8) length = 5, value = lead & 0x03;
    else if ((lead & 0xFE) == 0xFC) length = 6, value = lead & 0x01;
    else return {1, false, 0};
    std::size_t taken = 1;
    for (; taken < length && at + taken < bytes.size(); ++taken) {
        const unsigned char c = static_cast<unsigned char>(bytes[at + taken]);
        if ((c & 0xC0) != 0x80) break;
        value = (value << 6) | (c & 0x3F);
    }
    static constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool wellFormed = taken == length && length <= 4 && value >= kShortest[length] && value <= 0x10FFFF &&
                            !(value >= 0xD800 && value <= 0xDFFF);
    return {taken, wellFormed, value};
}

void appendUtf16(WString& out, std::uint32_t value) {
    if (value >= 0x10000) {
        value -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(value));
    }
}

}  // namespace

bool appendUtf8AsUtf16(WString& out, std::string_view bytes, Malformed replace) {
    bool wellFormed = true;
    // Names are mostly ASCII: the leading ASCII bytes go across as they are.
    std::size_t at = 0;
    while (at < bytes.size() && static_cast<unsigned char>(bytes[at]) < 0x80) ++at;
    out.append(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    if (at < bytes.size()) out.reserve(out.size() + bytes.size() - at);
    while (at < bytes.size()) {
        const Utf8Step step = decodeStep(bytes, at);
        if (step.wellFormed) {
            appendUtf16(out, step.codePoint);
        } else {
            wellFormed = false;
            switch (replace) {
                case Malformed::KeepBytes:
                    for (std::size_t k = 0; k < step.length; ++k)
                        out.push_back(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[at + k])));
                    break;
                case Malformed::Replacement: out.append(step.length, kReplacement); break;
                case Malformed::QuestionMark: out.push_back(u'?'); break;
            }
        }
        at += step.length;
    }
    return wellFormed;
}

WString wideOf(std::string_view bytes, bool keepBytes) {
    WString out;
    appendUtf8AsUtf16(out, bytes, keepBytes ? Malformed::KeepBytes : Malformed::Replacement);
    return out;
}

bool appendUtf8AsUtf16(WString& out, long count, const char* text) {
    if (!text) return false;
    // The text ends at its first zero byte or after count bytes.
    std::size_t length = 0;
    while ((count < 0 || static_cast<long>(length) < count) && text[length]) ++length;
    return appendUtf8AsUtf16(out, std::string_view(text, length), Malformed::QuestionMark);
}

}  // namespace tarvo
