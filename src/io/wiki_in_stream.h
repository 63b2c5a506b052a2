// The line reader for every text file the program reads: sources, templates,
// stored pages, stored DOT files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "io/line_source.h"
#include "platform/platform.h"
#include "text/utf.h"

namespace tarvo {

enum class SourceEncoding : std::int32_t {
    Undetected = 0,
    Bytes = 1,
    Utf8Bom = 2,
    Utf16BigEndian = 3,
    Utf16LittleEndian = 4,
};

// Reads a file line by line through a 1024-byte window that is refilled at
// explicit file offsets. LF, CR LF and a lone CR end a line. A byte-order mark
// chooses the encoding; UTF-16 text is handed out as UTF-8.
class WikiInStream final : public LineSource {
public:
    static constexpr std::uint32_t kWindow = 1024;

    WikiInStream() = default;
    WikiInStream(const WikiInStream&) = delete;
    WikiInStream& operator=(const WikiInStream&) = delete;

    void open(const platform::Folder& at, const WString& name);
    void open(const WString& name) { open(platform::currentFolder(), name); }
    // Open, and no fail, bad or end-of-file state.
    bool good() const { return file_.isOpen() && !fail_ && !bad_ && !eof_; }
    bool isOpen() const { return file_.isOpen(); }
    // Replaces line with the next line, without its line end. False at the end.
    bool readLine(std::string& line);
    bool readLine(std::string_view& line) override {
        if (!readLine(lineBuffer_)) return false;
        line = lineBuffer_;
        return true;
    }
    // The end of the file was met and no buffered byte is left.
    bool atEnd() const { return eof_ && position_ - bufferStart_ >= bufferLength_; }
    SourceEncoding encoding() const { return encoding_; }

private:
    // Makes at least need bytes available at position_ if the file has them.
    // Returns the number available (0 or more), or -1 when nothing can be read.
    long peekBytes(std::uint32_t need, const char*& data);
    void appendChunk(std::string& line, const char* data, std::size_t bytes);
    void finishLine(std::string& line);

    platform::ReadFile file_;
    std::string lineBuffer_;
    SourceEncoding encoding_ = SourceEncoding::Undetected;
    char buffer_[kWindow + 2] = {};
    std::uint32_t bufferLength_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t bufferStart_ = 0;
    bool eof_ = false;
    bool fail_ = false;
    bool bad_ = false;
    // UTF-16 text to UTF-8; keeps a high surrogate at the end of a chunk
    // for its low half.
    Utf8Encoder encoder_{{.foldFullwidth = true}};
};

}  // namespace tarvo
