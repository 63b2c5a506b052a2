#include "io/wiki_in_stream.h"

#include <cstring>

namespace tarvo {

namespace {

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
        encoder_.put(line, u);
    }
}

void WikiInStream::finishLine(std::string& line) { encoder_.finish(line); }

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
