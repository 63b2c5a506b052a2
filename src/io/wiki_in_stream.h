// The line reader for every text file the program reads: sources, templates,
// stored pages, stored DOT files, and standard input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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

// Reads a file line by line. LF, CR LF and a lone CR end a line; zero bytes
// are bytes like any other. A byte-order mark at the start chooses the
// encoding (and is skipped); UTF-16 text is handed out as UTF-8.
//
// The file is read front to back into one buffer. A line is handed out as a
// view into that buffer, or into the line buffer when it was decoded from
// UTF-16 or did not fit in the buffer: a line of any length costs its own
// size once, plus the buffer.
class WikiInStream final : public LineSource {
public:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    WikiInStream() = default;
    WikiInStream(const WikiInStream&) = delete;
    WikiInStream& operator=(const WikiInStream&) = delete;

    void open(const platform::Folder& at, const WString& name);
    // A file already known to be a regular file with this identity.
    void open(const platform::Folder& at, const WString& name, const platform::FileIdentity& known);
    void open(const WString& name) { open(platform::currentFolder(), name); }
    // Reads the process's standard input from where it stands.
    void openStandardInput();
    // Open, and no read has met the end or an error yet.
    bool good() const { return file_.isOpen() && !ended_; }
    // A read failed (a disk or network error, a folder given as standard
    // input): the lines handed out, and the end met, are not the whole file.
    bool failed() const { return failed_; }
    // The file opened by open().
    const platform::FileIdentity& identity() const { return file_.identity(); }
    // The next line, without its line end, valid until the next call. False
    // at the end, with line empty.
    bool readLine(std::string_view& line) override;
    // The same into a string of the caller's; a line longer than the buffer
    // is put together there rather than copied there afterwards.
    bool readLine(std::string& line);
    // The end of the file was met and no byte read is left. (False does not
    // promise another line: what is left may be a lone last byte of UTF-16.)
    bool atEnd() const { return ended_ && pos_ >= end_; }
    SourceEncoding encoding() const { return encoding_; }
    // Closes the file: the stream reads as ended. The read buffer stays for
    // the next file opened, so that files read one after another share one.
    void close() {
        file_.close();
        pos_ = end_ = 0;
        ended_ = true;
    }

private:
    // Where a line is put together when it does not lie whole in the buffer.
    class Assembly {
    public:
        virtual void clear() = 0;
        virtual void append(std::string_view bytes) = 0;
        virtual std::string_view view() const = 0;

    protected:
        ~Assembly() = default;
    };

    // The reader's own assembly. It grows with realloc, which moves a large
    // block by remapping its pages rather than copying them: growing never
    // holds the line twice.
    class LineBuffer final : public Assembly {
    public:
        LineBuffer() = default;
        ~LineBuffer();
        LineBuffer(const LineBuffer&) = delete;
        LineBuffer& operator=(const LineBuffer&) = delete;
        void clear() override { size_ = 0; }
        void append(std::string_view bytes) override;
        // Gives the memory back.
        void release();
        std::string_view view() const override { return {data_, size_}; }

    private:
        char* data_ = nullptr;
        std::size_t size_ = 0;
        std::size_t capacity_ = 0;
    };

    // The caller's string as the assembly, for readLine(std::string&).
    class StringAssembly;

    bool nextLine(std::string_view& line, Assembly& assembly);
    // readLine past its common case, which it keeps free of calls.
    bool readOtherLine(std::string_view& line);
    // Hands out a line whose last piece is last: that piece itself when
    // nothing was put together before it, else the whole assembly.
    static bool handOut(std::string_view& line, std::string_view last, bool spilled, Assembly& assembly);
    void start(bool opened);
    void fill();
    bool detectEncoding();
    bool readByteLine(std::string_view& line, Assembly& assembly);
    bool readWideLine(std::string_view& line, Assembly& assembly);
    std::size_t findLineEnd(std::size_t from);
    unsigned unitAt(std::size_t at) const;

    platform::ReadFile file_;
    SourceEncoding encoding_ = SourceEncoding::Undetected;
    // The bytes read and not yet handed out are buffer_[pos_, end_).
    std::unique_ptr<char[]> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;  // the file gives nothing more (its end, or an error)
    bool failed_ = false;  // that was an error
    // The last line ended with a CR that was the last byte read: a LF that
    // comes next belongs to that line end.
    bool skipLf_ = false;
    // The first CR at or after crFrom_ lies at crAt_ (end_ when none), as
    // long as crKnown_: a text without CR is searched for one once per fill.
    // Only the byte encodings search, so crKnown_ also says they are read.
    bool crKnown_ = false;
    std::size_t crFrom_ = 0;
    std::size_t crAt_ = 0;
    LineBuffer long_;      // a line that did not fit in the buffer
    std::string decoded_;  // a UTF-16 line as UTF-8, or its part not yet assembled
    // Keeps a high surrogate waiting for its low half, also across a refill.
    Utf8Encoder encoder_{{.foldFullwidth = true}};
};

}  // namespace tarvo
