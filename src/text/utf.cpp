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

WString wideOf(std::string_view bytes, bool keepBytes) {
    std::size_t i = 0;
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
    WString out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(i));
    if (i == bytes.size()) return out;
    out.reserve(bytes.size());
    const std::size_t n = bytes.size();
    while (i < n) {
        const unsigned char c = bytes[i];
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        std::size_t len = 0;
        std::uint32_t value = 0;
        std::uint32_t minimum = 0;
        if ((c & 0xE0) == 0xC0) { len = 2; value = c & 0x1F; minimum = 0x80; }
        else if ((c & 0xF0) == 0xE0) { len = 3; value = c & 0x0F; minimum = 0x800; }
        else if ((c & 0xF8) == 0xF0) { len = 4; value = c & 0x07; minimum = 0x10000; }
        bool ok = len != 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            const unsigned char cc = bytes[i + k];
            if ((cc & 0xC0) != 0x80) ok = false;
            else value = (value << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF do not decode:
        // they would not come back as the same bytes.
        if (ok && (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))) ok = false;
        if (!ok) {
            out.push_back(keepBytes ? static_cast<char16_t>(0xDC00 + c) : kReplacement);
            ++i;
            continue;
        }
        if (value >= 0x10000) {
            value -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(value));
        }
        i += len;
    }
    return out;
}

bool appendUtf8AsUtf16(WString& out, long count, const char* text) {
    if (!text) return false;
    bool result = true;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    const bool limited = count >= 0;
    long budget = count;
    auto budgetLeft = [&]() { return !limited || budget > 0; };
    while (*p && budgetLeft()) {
        unsigned char lead = *p++;
        if (limited) --budget;
        std::uint32_t value;
        int more;
        if (lead < 0x80) { value = lead; more = 0; }
        else if ((lead & 0xE0) == 0xC0) { value = lead & 0x1F; more = 1; }
        else if ((lead & 0xF0) == 0xE0) { value = lead & 0x0F; more = 2; }
        else if ((lead & 0xF8) == 0xF0) { value = lead & 0x07; more = 3; }
        else if ((lead & 0xFC) == 0xF8) { value = lead & 0x03; more = 4; }
        else if ((lead & 0xFE) == 0xFC) { value = lead & 0x01; more = 5; }
        else {
            out.push_back(u'?');
            result = false;
            continue;
        }
        if (more == 0) {
            out.push_back(static_cast<char16_t>(value));
            continue;
        }
        if (more == 1 && value == 0) {
            // 0xC0 only starts overlong forms: skip what it announces.
            for (int k = 0; k < more && *p && budgetLeft(); ++k) {
                ++p;
                if (limited) --budget;
            }
            out.push_back(u'?');
            result = false;
            continue;
        }
        // Bytes the sequence can still take: up to the budget and the end.
        int available = limited && budget < more ? static_cast<int>(budget) : more;
        for (int k = 0; k < available; ++k)
            if (p[k] == 0) { available = k; break; }
        if (available < more) {
            // Cut off by the end: the conversion ends here, unless a byte that
            // is no continuation comes first, which the loop below decodes anew.
            bool onlyContinuations = true;
            for (int k = 0; k < available && onlyContinuations; ++k)
                onlyContinuations = (p[k] & 0xC0) == 0x80;
            if (onlyContinuations) {
                out.push_back(u'?');
                return false;
            }
        }
        bool complete = true;
        for (int k = 0; k < more; ++k) {
            unsigned char c = *p;
            if ((c & 0xC0) == 0x80) {
                value = (value << 6) | (c & 0x3F);
                ++p;
                if (limited) --budget;
            } else if (c < 0x80) {
                complete = false;  // decoded next as a lead of its own
                break;
            } else {
                complete = false;  // skip it and the bytes the sequence still lacked
                for (int s = k; s < more && *p && budgetLeft(); ++s) {
                    ++p;
                    if (limited) --budget;
                }
                break;
            }
        }
        if (!complete) {
            out.push_back(u'?');
            result = false;
            continue;
        }
        // Overlong forms are judged by the value, not the lead: 0xE0 and 0xF0
        // also start well-formed sequences (U+0800.., U+10000..). Encoded
        // surrogates are no characters.
        static constexpr std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
        if (value > 0x10FFFF || value < kMinimum[more] || (value >= 0xD800 && value <= 0xDFFF)) {
            out.push_back(u'?');
            result = false;
        } else if (value > 0xFFFF) {
            value -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(value));
        }
    }
    return result;
}

}  // namespace tarvo
