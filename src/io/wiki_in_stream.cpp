#include "io/wiki_in_stream.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvo {

namespace {

bool isWide(SourceEncoding encoding) {
    return encoding == SourceEncoding::Utf16BigEndian || encoding == SourceEncoding::Utf16LittleEndian;
}

// True while the first n bytes of a file could be the start of a byte-order
// mark still incomplete: only more bytes tell what the file is.
bool markUndecided(const unsigned char* b, std::size_t n) {
    if (n == 0) return true;
    if (n == 1) return b[0] == 0xEF || b[0] == 0xFE || b[0] == 0xFF;
    return n == 2 && b[0] == 0xEF && b[1] == 0xBB;
}

#if defined(__SSE2__) && !defined(TARVO_PORTABLE)
// The place of the first LF among the sixteen bytes at at, or 16.
unsigned lfInSixteen(const char* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const unsigned lf = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
    return lf != 0 ? static_cast<unsigned>(std::countr_zero(lf)) : 16;
}
#endif

}  // namespace

// ---- LineBuffer ----

WikiInStream::LineBuffer::~LineBuffer() { std::free(data_); }

void WikiInStream::LineBuffer::append(std::string_view bytes) {
    if (bytes.empty()) return;
    if (bytes.size() > capacity_ - size_) {
        const std::size_t capacity = std::max({capacity_ * 2, size_ + bytes.size(), kBufferSize});
        char* grown = static_cast<char*>(std::realloc(data_, capacity));
        if (!grown) throw std::bad_alloc();
        data_ = grown;
        capacity_ = capacity;
    }
    std::memcpy(data_ + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
}

void WikiInStream::LineBuffer::release() {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

// ---- WikiInStream ----

void WikiInStream::start(bool opened) {
    encoding_ = SourceEncoding::Undetected;
    pos_ = end_ = 0;
    ended_ = !opened;
    failed_ = false;
    skipLf_ = false;
    crKnown_ = false;
}

void WikiInStream::open(const platform::Folder& at, const WString& name) { start(file_.open(at, name)); }

void WikiInStream::open(const platform::Folder& at, const WString& name, const platform::FileIdentity& known) {
    start(file_.open(at, name, known));
}

void WikiInStream::openStandardInput() { start(file_.openStandardInput()); }

// Reads behind buffer_[0, end_) what the file gives at once, up to the end
// of the buffer. At the end or on a read error, ended_ is set: both end the
// lines, and what was read before is handed out; an error also sets failed_,
// so that the caller knows the text is cut short.
void WikiInStream::fill() {
    if (!buffer_) buffer_.reset(new char[kBufferSize]);
    const long got = file_.read(buffer_.get() + end_, kBufferSize - end_);
    if (got > 0) end_ += static_cast<std::size_t>(got);
    if (got < 0) failed_ = true;
    ended_ = got < 0 || file_.exhausted();
    crKnown_ = false;  // the bytes may have moved since the last search
}

// Reads until the first bytes tell whether a byte-order mark starts the file,
// and skips it. False for an empty file (the encoding stays undetected).
bool WikiInStream::detectEncoding() {
    while (!ended_ && markUndecided(reinterpret_cast<const unsigned char*>(buffer_.get()), end_)) fill();
    if (end_ == 0) return false;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(buffer_.get());
    encoding_ = SourceEncoding::Bytes;
    if (end_ >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        pos_ = 3;
        encoding_ = SourceEncoding::Utf8Bom;
    } else if (end_ >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        pos_ = 2;
        encoding_ = SourceEncoding::Utf16BigEndian;
    } else if (end_ >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        pos_ = 2;
        encoding_ = SourceEncoding::Utf16LittleEndian;
    }
    return true;
}

// A long line is put together in the caller's string rather than copied
// there afterwards.
class WikiInStream::StringAssembly final : public Assembly {
public:
    explicit StringAssembly(std::string& text) : text_(text) {}
    void clear() override { text_.clear(); }
    void append(std::string_view bytes) override { text_.append(bytes); }
    std::string_view view() const override { return text_; }

private:
    std::string& text_;
};

bool WikiInStream::readLine(std::string_view& line) {
#if defined(__SSE2__) && !defined(TARVO_PORTABLE)
    // The common case first, in a few instructions and no call: a byte
    // line whose LF lies in the buffer before the next CR, looked for
    // sixteen bytes at a time.
    if (crKnown_ && !skipLf_ && crFrom_ <= pos_) {
        const char* at = buffer_.get() + pos_;
        for (std::size_t k = 0; pos_ + k + 16 <= crAt_; k += 16) {
            if (const std::size_t length = k + lfInSixteen(at + k); length < k + 16) {
                line = {at, length};
                pos_ += length + 1;
                return true;
            }
        }
    }
#endif
    return readOtherLine(line);
}

// Every other line: near the end of the buffer, after a CR, in UTF-16.
bool WikiInStream::readOtherLine(std::string_view& line) {
    if (nextLine(line, long_)) return true;
    long_.release();  // at the end, the memory of a long line is not kept for the rest of the page
    return false;
}

bool WikiInStream::readLine(std::string& line) {
    StringAssembly assembly(line);
    std::string_view view;
    const bool got = nextLine(view, assembly);
    if (view.data() != line.data()) line.assign(view);
    return got;
}

bool WikiInStream::nextLine(std::string_view& line, Assembly& assembly) {
    // The common case first: a byte line whose LF lies in the buffer before
    // the next CR.
    if (crKnown_ && !skipLf_ && crFrom_ <= pos_ && pos_ <= crAt_) {
        const char* at = buffer_.get() + pos_;
        if (const void* lf = std::memchr(at, '\n', crAt_ - pos_)) {
            line = {at, static_cast<std::size_t>(static_cast<const char*>(lf) - at)};
            pos_ += line.size() + 1;
            return true;
        }
    }
    line = {};
    if (encoding_ == SourceEncoding::Undetected && !detectEncoding()) return false;
    return isWide(encoding_) ? readWideLine(line, assembly) : readByteLine(line, assembly);
}

// The first CR or LF in buffer_[from, end_), or end_. Both are found with
// memchr; the LF search stops at the next CR, which is remembered, so a text
// without CR is searched for it once per fill, not once per line.
std::size_t WikiInStream::findLineEnd(std::size_t from) {
    const char* b = buffer_.get();
    if (!crKnown_ || from < crFrom_ || from > crAt_) {
        const void* cr = std::memchr(b + from, '\r', end_ - from);
        crAt_ = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - b) : end_;
        crFrom_ = from;
        crKnown_ = true;
    }
    const void* lf = std::memchr(b + from, '\n', crAt_ - from);
    return lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - b) : crAt_;
}

// Plain bytes and UTF-8. A line that lies in the buffer is handed out where
// it lies. One that reaches the end of the buffer is moved to its front, and
// more is read behind it; one longer than the whole buffer goes to the
// assembly a buffer at a time.
bool WikiInStream::readByteLine(std::string_view& line, Assembly& assembly) {
    char* const b = buffer_.get();
    if (skipLf_) {
        if (pos_ == end_ && !ended_) {
            pos_ = end_ = 0;
            fill();
        }
        if (pos_ < end_ && b[pos_] == '\n') ++pos_;
        skipLf_ = false;
    }
    std::size_t start = pos_;  // the line's first byte in the buffer
    std::size_t from = pos_;   // where the search for its end goes on
    bool spilled = false;      // the line's first part is in the assembly
    for (;;) {
        const std::size_t stop = findLineEnd(from);
        if (stop < end_ || ended_) {
            if (stop == start && stop == end_ && !spilled) return false;  // nothing left
            pos_ = stop;
            if (stop < end_ && b[pos_++] == '\r') {
                // A LF right behind the CR belongs to the line end; when the
                // CR is the last byte read, the next call looks for the LF.
                if (pos_ == end_) skipLf_ = true;
                else if (b[pos_] == '\n') ++pos_;
            }
            return handOut(line, std::string_view(b + start, stop - start), spilled, assembly);
        }
        if (start > 0) {
            std::memmove(b, b + start, end_ - start);
            end_ -= start;
            start = 0;
        } else if (end_ == kBufferSize) {
            if (!spilled) assembly.clear();
            assembly.append({b, end_});
            spilled = true;
            end_ = 0;
        }
        pos_ = start;
        from = end_;
        fill();
    }
}

unsigned WikiInStream::unitAt(std::size_t at) const {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(buffer_.get() + at);
    return encoding_ == SourceEncoding::Utf16BigEndian ? (unsigned(p[0]) << 8) | p[1] : p[0] | (unsigned(p[1]) << 8);
}

// UTF-16 of either byte order, decoded unit by unit into decoded_, which goes
// to the assembly whenever it has grown past the size of the buffer.
bool WikiInStream::readWideLine(std::string_view& line, Assembly& assembly) {
    decoded_.clear();
    bool spilled = false;  // the line's first part is in the assembly
    bool begun = false;    // a unit of the line was read
    for (;;) {
        if (end_ - pos_ < 2) {
            if (ended_) {
                pos_ = end_;  // a lone last byte is dropped
                if (!begun) return false;
                break;  // the last line, without a line end
            }
            // Keep a lone byte, the first half of a unit, and read more.
            if (pos_ < end_) buffer_[0] = buffer_[pos_];
            end_ -= pos_;
            pos_ = 0;
            if (decoded_.size() >= kBufferSize) {
                if (!spilled) assembly.clear();
                assembly.append(decoded_);
                decoded_.clear();
                spilled = true;
            }
            fill();
            continue;
        }
        const unsigned unit = unitAt(pos_);
        pos_ += 2;
        if (skipLf_) {
            skipLf_ = false;
            if (unit == '\n') continue;
        }
        begun = true;
        if (unit == '\n') break;
        if (unit == '\r') {
            if (end_ - pos_ < 2) skipLf_ = true;
            else if (unitAt(pos_) == '\n') pos_ += 2;
            break;
        }
        encoder_.put(decoded_, static_cast<char16_t>(unit));
    }
    encoder_.finish(decoded_);
    return handOut(line, decoded_, spilled, assembly);
}

bool WikiInStream::handOut(std::string_view& line, std::string_view last, bool spilled, Assembly& assembly) {
    if (!spilled) {
        line = last;
        return true;
    }
    assembly.append(last);
    line = assembly.view();
    return true;
}

}  // namespace tarvo
