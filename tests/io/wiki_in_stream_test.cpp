#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#undef ReplaceFile
#else
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "test_support.h"

namespace tarvo::test {
namespace {

using Lines = std::vector<std::string>;

// Writes the bytes to a new file and reads it back line by line. After the
// last line, readLine must keep returning false and atEnd must hold.
Lines read(const std::string& bytes, SourceEncoding* encoding = nullptr) {
    TempDir tmp;
    writeFile(tmp.dir + "f", bytes);
    WikiInStream in;
    in.open(widen(tmp.dir + "f"));
    EXPECT_TRUE(in.good());
    Lines lines;
    std::string line = "junk";
    while (lines.size() <= bytes.size() && in.readLine(line)) lines.push_back(line);
    EXPECT_EQ(line, "");
    EXPECT_FALSE(in.readLine(line));
    EXPECT_TRUE(in.atEnd());
    EXPECT_FALSE(in.failed());
    if (encoding) *encoding = in.encoding();
    return lines;
}

// Every line of an open reader, through the view or through the copy; after
// the last one, readLine must keep returning false and atEnd must hold.
Lines readAll(WikiInStream& in, bool views, std::size_t most) {
    Lines lines;
    std::string_view view = "junk";
    std::string line = "junk";
    while (lines.size() <= most && (views ? in.readLine(view) : in.readLine(line)))
        lines.emplace_back(views ? std::string(view) : line);
    EXPECT_TRUE(views ? view.empty() : line.empty());
    EXPECT_FALSE(in.readLine(view));
    EXPECT_TRUE(in.atEnd());
    return lines;
}

// Makes the bytes the process's standard input for its lifetime: a pipe that
// another thread fills in pieces of 1, 2, 3, 7 and 4096 bytes, each written
// once the one before was read (so that reads get part of a mark, of a unit
// or of a CR LF pair), or a file whose first line was read already.
class StandardInput {
public:
    StandardInput(const std::string& bytes, bool pipe) {
        const std::string path = tmp_.dir + "in";
        writeFile(path, "skipped\n" + bytes);
#ifdef _WIN32
        saved_ = ::GetStdHandle(STD_INPUT_HANDLE);
        if (pipe) {
            HANDLE end;
            EXPECT_TRUE(::CreatePipe(&input_, &end, nullptr, 0));
            writer_ = std::thread([this, bytes, end] {
                feed(bytes, [&](const char* p, std::size_t n) {
                    DWORD done, left = 1;
                    if (!::WriteFile(end, p, static_cast<DWORD>(n), &done, nullptr)) return false;
                    while (!stop_ && ::PeekNamedPipe(input_, nullptr, 0, nullptr, &left, nullptr) && left) ::Sleep(0);
                    return true;
                });
                ::CloseHandle(end);
            });
        } else {
            input_ = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            ::SetFilePointer(input_, 8, nullptr, FILE_BEGIN);
        }
        ::SetStdHandle(STD_INPUT_HANDLE, input_);
#else
        saved_ = ::dup(0);
        int ends[2] = {-1, -1};
        if (pipe) {
            EXPECT_EQ(::pipe(ends), 0);
            writer_ = std::thread([this, bytes, end = ends[1]] {
                feed(bytes, [&](const char* p, std::size_t n) {
                    int left = 1;
                    if (::write(end, p, n) <= 0) return false;
                    while (!stop_ && ::ioctl(end, FIONREAD, &left) == 0 && left) std::this_thread::yield();
                    return true;
                });
                ::close(end);
            });
        } else {
            ends[0] = ::open(path.c_str(), O_RDONLY);
            ::lseek(ends[0], 8, SEEK_SET);
        }
        ::dup2(ends[0], 0);
        ::close(ends[0]);
#endif
    }
    ~StandardInput() {
        stop_ = true;
        if (writer_.joinable()) writer_.join();
#ifdef _WIN32
        ::SetStdHandle(STD_INPUT_HANDLE, saved_);
        ::CloseHandle(input_);
#else
        ::dup2(saved_, 0);
        ::close(saved_);
#endif
    }

private:
    template <class Write>
    void feed(const std::string& bytes, Write write) {
        const std::size_t sizes[] = {1, 2, 3, 7, 4096};
        for (std::size_t at = 0, i = 0; at < bytes.size() && !stop_; at += sizes[i++ % 5])
            if (!write(bytes.data() + at, std::min(sizes[i % 5], bytes.size() - at))) break;
    }

    TempDir tmp_;
    std::atomic<bool> stop_ = false;
    std::thread writer_;
#ifdef _WIN32
    HANDLE saved_ = nullptr;
    HANDLE input_ = nullptr;
#else
    int saved_ = -1;
#endif
};

// The lines of a text held whole: LF, CR LF and a lone CR end a line.
template <class Text>
std::vector<Text> split(const Text& s) {
    std::vector<Text> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\n' && s[i] != '\r') continue;
        out.push_back(s.substr(start, i - start));
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < s.size()) out.push_back(s.substr(start));
    return out;
}

// The units in the byte order asked for, after its byte-order mark.
std::string utf16(const std::u16string& units, bool big) {
    std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : units) out += big ? std::string{char(u >> 8), char(u)} : std::string{char(u), char(u >> 8)};
    return out;
}

TEST(Reader, LineEndsMarksAndBytes) {
    using E = SourceEncoding;
    // A mark only counts at the start; a partial mark is text.
    const std::tuple<std::string, Lines, SourceEncoding> cases[] = {
        {"\r\r\n\n\n\rx", {"", "", "", "", "", "x"}, E::Bytes}, {"", {}, E::Undetected},
        {std::string("a\0b\n\xE9\n", 6), {std::string("a\0b", 3), "\xE9"}, E::Bytes},
        {"x\xEF\xBB\xBF\xFF\xFE", {"x\xEF\xBB\xBF\xFF\xFE"}, E::Bytes}, {"\xEF\xBB", {"\xEF\xBB"}, E::Bytes},
        {"\xFF", {"\xFF"}, E::Bytes}, {"\xEF\xBB\xBF", {}, E::Utf8Bom}, {"\xEF\xBB\xBF\n\xC3\xA9", {"", "\xC3\xA9"}, E::Utf8Bom},
        {"\xFF\xFE", {}, E::Utf16LittleEndian}, {"\xFE\xFF", {}, E::Utf16BigEndian}};
    for (const auto& [bytes, lines, encoding] : cases) {
        SourceEncoding got;
        EXPECT_EQ(read(bytes, &got), lines);
        EXPECT_EQ(got, encoding) << ::testing::PrintToString(bytes);
    }
}

TEST(Reader, ArbitraryBytesSplitLikeTheReference) {
    // Any bytes, any line length: long runs, CR/LF clusters and zero bytes,
    // across many windows and past the read-ahead of the file layer.
    std::uint32_t seed = 12345;
    auto next = [&]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    const char alphabet[] = {'a', 'b', '\r', '\n', '\0', '\xE9', '\xFF'};
    for (std::size_t size : {1u, 2u, 700u, 3000u, 9000u, 150000u}) {
        std::string s;
        while (s.size() < size) {
            const char c = alphabet[next() % sizeof alphabet];
            s.append(next() % 8 == 0 ? next() % 2500 : 1, c);
        }
        s.resize(size);
        if (s.starts_with("\xFF\xFE") || s.starts_with("\xFE\xFF")) s[0] = 'a';
        EXPECT_EQ(read(s), split(s)) << "size=" << size;
        EXPECT_EQ(read("\xEF\xBB\xBF" + s), split(s)) << "size=" << size;
    }
    // UTF-16 the same way: however the windows cut the units, each line comes
    // out as the whole line converted at once (an odd last byte is dropped).
    const char16_t units[] = {u'a', u'\r', u'\n', 0, 0xD83D, 0xDE00, 0xFF21, 0xE9};
    for (std::size_t size : {1u, 511u, 3000u, 40000u}) {
        std::u16string s;
        while (s.size() < size) s.append(next() % 8 == 0 ? next() % 1500 : 1, units[next() % 8]);
        s.resize(size);
        Lines want;
        for (const std::u16string& line : split(s)) {
            want.push_back(utf8Of(line, {.foldFullwidth = true}));
        }
        EXPECT_EQ(read(utf16(s, false) + (size % 2 ? "x" : "")), want) << "size=" << size;
        EXPECT_EQ(read(utf16(s, true)), want) << "size=" << size;
    }
}

TEST(Reader, LinesAtAndAcrossTheEndOfTheBuffer) {
    // A line end (or the end of the file) in the last bytes of the buffer or
    // just behind it, and a line longer than the buffer, the line starting
    // the file or not, through the view and through the copy, as bytes and
    // as UTF-16.
    const std::size_t size = WikiInStream::kBufferSize;
    std::vector<std::string> texts;
    for (std::size_t n : {size - 2, size - 1, size, size + 1, 3 * size + 1})
        for (const std::string lead : {"", "x\n", "xy\r\n"})
            for (const char* end : {"\n", "\r\n", "\r", ""})
                for (const char* tail : {"", "b", "\nc\r\n"})
                    texts.push_back(lead + std::string(n - lead.size(), 'a') + end + tail);
    TempDir tmp;
    for (const std::string& s : texts) {
        for (const std::string& bytes : {s, utf16(widen(s), false), utf16(widen(s), true)}) {
            writeFile(tmp.dir + "f", bytes);
            for (bool views : {true, false}) {
                WikiInStream in;
                in.open(widen(tmp.dir + "f"));
                EXPECT_EQ(readAll(in, views, bytes.size()), split(s))
                    << ::testing::PrintToString(s.substr(0, 5)) << s.size() << " " << bytes.size() << views;
            }
        }
    }
}

TEST(Reader, StandardInputLikeAFile) {
    // Read from a pipe (in pieces) or from a file where it stands, the lines
    // are those of the same bytes in a file of their own.
    const std::string inputs[] = {"\xEF\xBB\xBF" "a\r\nb\rc\n" + std::string("d\0e\n\0", 6),
                                  utf16(u"x\r\n\r\uFF21\U0001F600\ny", false) + "B",
                                  utf16(u"x\r\ny\r", true),
                                  "\xEF\xBB" + std::string(3 * WikiInStream::kBufferSize, '\0') + "\r\n\r\r\nz",
                                  "", "\xFE"};
    for (const std::string& bytes : inputs) {
        const Lines want = read(bytes);
        for (bool pipe : {true, false}) {
            StandardInput input(bytes, pipe);
            WikiInStream in;
            in.openStandardInput();
            EXPECT_TRUE(in.good());
            EXPECT_EQ(readAll(in, true, bytes.size()), want) << ::testing::PrintToString(bytes.substr(0, 20)) << pipe;
        }
    }
}

#ifndef _WIN32
// A read that fails is no end of the file: a folder given as standard input,
// and a file whose every read fails (the process's memory, unmapped at 0),
// give no line, end, and say that they failed.
TEST(Reader, AReadErrorIsNoEnd) {
    TempDir tmp;
    const int saved = ::dup(0);
    const int folder = ::open(tmp.name.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    ::dup2(folder, 0);
    ::close(folder);
    WikiInStream in;
    in.openStandardInput();
    ASSERT_TRUE(in.good());
    EXPECT_EQ(readAll(in, true, 1), Lines{});
    EXPECT_TRUE(in.failed());
    ::dup2(saved, 0);
    ::close(saved);

    in.open(u"/proc/self/mem");
    if (!in.good()) GTEST_SKIP() << "no /proc/self/mem here";
    EXPECT_EQ(readAll(in, false, 1), Lines{});
    EXPECT_TRUE(in.failed());
    in.open(widen(tmp.dir + "missing"));
    EXPECT_FALSE(in.failed());
}
#endif

}  // namespace
}  // namespace tarvo::test
