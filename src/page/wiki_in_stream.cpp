#include "page/wiki_in_stream.h"

#include <cstring>

namespace tarvo {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void putUtf8(std::string& out, std::uint32_t v) { platform::appendUtf8(out, v); }

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Appends one unit; pendingHigh carries a high surrogate to the next unit.
void putUnit(std::string& out, char16_t u, char16_t& pendingHigh) {
    if (pendingHigh) {
        if (isLow(u)) {
            putUtf8(out, 0x10000 + ((std::uint32_t(pendingHigh) - 0xD800) << 10) + (u - 0xDC00));
            pendingHigh = 0;
            return;
        }
        putUtf8(out, kReplacement);
        pendingHigh = 0;
    }
    if (isHigh(u)) {
        pendingHigh = u;
        return;
    }
    if (isLow(u)) {
        putUtf8(out, kReplacement);
        return;
    }
    if (u >= 0xFF00 && u <= 0xFF5E) u = static_cast<char16_t>(u - 0xFEE0);
    putUtf8(out, u);
}

char16_t swapUnit(char16_t u) { return static_cast<char16_t>((u >> 8) | (u << 8)); }

// The first LF or CR in [p, end), or end. Eight bytes at a time: a byte equal
// to LF or CR becomes zero after the XOR, and the zero-byte test marks it.
const char* findLineEnd(const char* p, const char* end) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        const std::uint64_t lf = word ^ (kOnes * '\n');
        const std::uint64_t cr = word ^ (kOnes * '\r');
        const std::uint64_t hits = ((lf - kOnes) & ~lf & kHighs) | ((cr - kOnes) & ~cr & kHighs);
        if (hits) {
            // The lowest marked byte is exact (only bytes above a hit can be
            // marked falsely); find it by looking at the bytes in order.
            while (*p != '\n' && *p != '\r') ++p;
            return p;
        }
        p += 8;
    }
    while (p < end && *p != '\n' && *p != '\r') ++p;
    return p;
}

}  // namespace

std::size_t appendUtf16AsUtf8(std::string& out, const char16_t* units, std::size_t count, bool swap) {
    if (!units) return 0;
    char16_t pendingHigh = 0;
    std::size_t i = 0;
    for (; count == 0 || i < count; ++i) {
        char16_t u = swap ? swapUnit(units[i]) : units[i];
        if (u == 0 && count == 0) break;
        putUnit(out, u, pendingHigh);
    }
    if (pendingHigh) putUtf8(out, kReplacement);
    return i;
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

void readTextLine(MemoryText& text, std::string& line) {
    line.clear();
    if (text.readPos >= text.data.size()) {
        text.eof = true;
        return;
    }
    const char* begin = text.data.data() + text.readPos;
    const std::size_t left = text.data.size() - text.readPos;
    const void* nl = std::memchr(begin, '\n', left);
    if (nl) {
        std::size_t len = static_cast<const char*>(nl) - begin;
        line.assign(begin, len);
        text.readPos += len + 1;
    } else {
        line.assign(begin, left);
        text.readPos = text.data.size();
        text.eof = true;
    }
}

// ---- WikiInStream ----

void WikiInStream::open(const platform::Folder& at, const WString& name) {
    if (!file_.open(at, name)) fail_ = true;
}

long WikiInStream::peekBytes(std::uint32_t need, const char*& data) {
    if (bufferLength_ > 0 && bufferStart_ <= position_ && position_ < bufferStart_ + bufferLength_) {
        std::uint32_t available = static_cast<std::uint32_t>(bufferStart_ + bufferLength_ - position_);
        if (available < need) {
            if (position_ > bufferStart_) {
                std::memmove(buffer_, buffer_ + (position_ - bufferStart_), available);
                bufferLength_ = available;
                bufferStart_ = position_;
            }
            if (bufferLength_ < kWindow && good()) {
                std::uint32_t want = kWindow - bufferLength_;
                long got = file_.readAt(bufferStart_ + bufferLength_, buffer_ + bufferLength_, want);
                if (got < 0) {
                    bad_ = fail_ = true;
                    got = 0;
                }
                if (static_cast<std::uint32_t>(got) < want) eof_ = fail_ = true;
                bufferLength_ += static_cast<std::uint32_t>(got);
            }
            buffer_[bufferLength_] = 0;
            buffer_[bufferLength_ + 1] = 0;
        }
        data = buffer_ + (position_ - bufferStart_);
        return static_cast<long>(bufferStart_ + bufferLength_ - position_);
    }
    if (!good()) return -1;
    long got = file_.readAt(position_, buffer_, kWindow);
    if (got < 0) {
        bad_ = fail_ = true;
        return -1;
    }
    if (static_cast<std::uint32_t>(got) < kWindow) eof_ = fail_ = true;
    bufferLength_ = static_cast<std::uint32_t>(got);
    bufferStart_ = position_;
    buffer_[bufferLength_] = 0;
    buffer_[bufferLength_ + 1] = 0;
    data = buffer_;
    return got;
}

void WikiInStream::appendChunk(std::string& line, const char* data, std::size_t bytes) {
    if (bytes == 0) return;
    if (encoding_ != SourceEncoding::Utf16BigEndian && encoding_ != SourceEncoding::Utf16LittleEndian) {
        line.append(data, bytes);
        return;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    const bool big = encoding_ == SourceEncoding::Utf16BigEndian;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        char16_t u = big ? static_cast<char16_t>((p[i] << 8) | p[i + 1])
                         : static_cast<char16_t>(p[i] | (p[i + 1] << 8));
        putUnit(line, u, pendingHigh_);
    }
}

void WikiInStream::finishLine(std::string& line) {
    if (pendingHigh_) {
        putUtf8(line, kReplacement);
        pendingHigh_ = 0;
    }
}

bool WikiInStream::readLine(std::string& line) {
    line.clear();
    // The common case, taken without the general scan below: a byte file
    // whose next LF lies in the window, with no CR before it.
    if ((encoding_ == SourceEncoding::Bytes || encoding_ == SourceEncoding::Utf8Bom) &&
        position_ >= bufferStart_ && position_ < bufferStart_ + bufferLength_) {
        const char* at = buffer_ + (position_ - bufferStart_);
        const char* end = buffer_ + bufferLength_;
        const char* lineEnd = findLineEnd(at, end);
        if (lineEnd < end && *lineEnd == '\n') {
            const std::size_t length = static_cast<std::size_t>(lineEnd - at);
            line.assign(at, length);
            position_ += length + 1;
            return true;
        }
    }
    bool wide = encoding_ == SourceEncoding::Utf16BigEndian || encoding_ == SourceEncoding::Utf16LittleEndian;
    std::uint32_t unit = wide ? 2 : 1;
    const char* data = nullptr;
    long n = peekBytes(encoding_ == SourceEncoding::Undetected ? 3 : unit, data);
    if (n <= 0) return false;
    if (encoding_ == SourceEncoding::Undetected) {
        encoding_ = SourceEncoding::Bytes;
        const unsigned char* b = reinterpret_cast<const unsigned char*>(data);
        if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
            position_ += 3;
            encoding_ = SourceEncoding::Utf8Bom;
        } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
            position_ += 2;
            encoding_ = SourceEncoding::Utf16BigEndian;
        } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
            position_ += 2;
            encoding_ = SourceEncoding::Utf16LittleEndian;
        }
        if (encoding_ != SourceEncoding::Bytes) {
            wide = encoding_ != SourceEncoding::Utf8Bom;
            unit = wide ? 2 : 1;
            n = peekBytes(unit, data);
            if (n <= 0) return false;
        }
    }
    if (wide && n < 2) {
        position_ += static_cast<std::uint32_t>(n);  // a lone byte at the end of a UTF-16 file
        return false;
    }
    const bool big = encoding_ == SourceEncoding::Utf16BigEndian;
    auto unitAt = [&](const char* at) -> unsigned {
        const unsigned char* b = reinterpret_cast<const unsigned char*>(at);
        if (!wide) return b[0];
        return big ? (unsigned(b[0]) << 8) | b[1] : b[0] | (unsigned(b[1]) << 8);
    };
    for (;;) {
        bool eofSeen = eof_;
        if (n < 0) {
            n = 0;
            eofSeen = true;
        }
        const std::size_t avail = static_cast<std::size_t>(n);
        std::size_t i = 0;
        std::size_t endLength = 0;
        bool found = false;
        if (!wide) {
            // Byte encodings: find the first CR or LF directly.
            const char* end = data + avail;
            const char* p = findLineEnd(data, end);
            i = static_cast<std::size_t>(p - data);
            if (p < end) {
                ++i;
                if (*p == '\n') {
                    endLength = 1;
                    found = true;
                } else if (i < avail) {
                    found = true;
                    endLength = 1;
                    if (data[i] == '\n') {
                        ++i;
                        endLength = 2;
                    }
                } else if (eofSeen) {
                    found = true;
                    endLength = 1;
                } else {
                    --i;  // the CR waits for the next window
                }
            }
        } else {
            while (i + unit <= avail) {
                unsigned u = unitAt(data + i);
                i += unit;
                if (u == '\n') {
                    endLength = unit;
                    found = true;
                    break;
                }
                if (u == '\r') {
                    bool nextInside = i + unit <= avail;
                    unsigned next = nextInside ? unitAt(data + i) : 0;
                    if (next == '\n') {
                        i += unit;
                        endLength = 2 * unit;
                        found = true;
                    } else if (nextInside || eofSeen) {
                        endLength = unit;
                        found = true;
                    } else {
                        i -= unit;
                    }
                    break;
                }
            }
        }
        if (!found && !eofSeen) {
            appendChunk(line, data, i);
            position_ += static_cast<std::uint32_t>(i);
            n = peekBytes(2 * unit, data);
            continue;
        }
        appendChunk(line, data, i - endLength);
        position_ += static_cast<std::uint32_t>(i);
        finishLine(line);
        return true;
    }
}

}  // namespace tarvo
