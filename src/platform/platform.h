// The operating-system layer: wide command-line arguments, file access by wide
// name, wildcard directory search and console output. Everything else in the
// program works with wide strings and byte strings and calls only what is
// declared here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// File names and command-line arguments.
using WString = std::u16string;

// Shorthand for literals and narrow ASCII text in wide strings.
WString widen(std::string_view ascii);

// The program itself, called by the platform's entry point with the wide
// arguments (the program name first); returns the exit code.
int programMain(const std::vector<WString>& args);

namespace platform {

// An open file of the operating system: a descriptor, or on Windows a handle
// kept as an integer. Negative when closed.
using NativeFile = std::intptr_t;

// A path in the form the operating system's calls take: bytes, or UTF-16 on
// Windows.
#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

// Turns the process arguments into wide strings (argv[0] included).
std::vector<WString> wideArguments(int argc, char** argv);

// A wide string as the bytes the console or the file system gets. Units that
// stand for undecodable argument bytes become those bytes again.
std::string toUtf8Bytes(const WString& text);

// Appends one code point (up to U+10FFFF) as UTF-8.
void appendUtf8(std::string& out, std::uint32_t codePoint);

// Console output. Messages are written as they come, unbuffered by us.
void writeOut(std::string_view bytes);
void writeErr(std::string_view bytes);

// A file opened for reading raw bytes at explicit offsets.
class ReadFile {
public:
    ReadFile() = default;
    ~ReadFile();
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;

    bool open(const WString& name);
    bool isOpen() const { return fd_ >= 0; }
    void close();
    // Reads up to count bytes at offset. Returns the count read (short at the
    // end of the file), or -1 on a hard read error.
    long readAt(std::uint64_t offset, char* into, std::size_t count);
    // True when the file holds exactly these bytes at offset (compared in
    // place, without copying them out).
    bool equalAt(std::uint64_t offset, std::string_view bytes);

private:
    static constexpr std::size_t kReadAhead = 64 * 1024;
    // One read of the system at offset: the count read, or -1 on an error.
    long readDirect(std::uint64_t offset, char* into, std::size_t count);

    NativeFile fd_ = -1;
    // Read-ahead: callers read in small windows; the system sees large reads.
    std::unique_ptr<char[]> cache_;
    std::uint64_t cacheStart_ = 0;
    std::size_t cacheLength_ = 0;
};

// A file written through a hidden temporary beside its final name and put in
// place only by commit(), so that a failure never leaves a partial file.
class ReplaceFile {
public:
    ReplaceFile() = default;
    ~ReplaceFile();  // discards an uncommitted temporary
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    bool create(const WString& name);
    // Writes text; "\n" becomes the platform's text line end.
    bool write(std::string_view bytes);
    // Writes bytes exactly as given (text already in the file's own form).
    bool writeRaw(std::string_view bytes);
    bool commit();
    void discard();

private:
    NativeFile fd_ = -1;
    NativePath finalPath_;
    NativePath tempPath_;
};

// Identity of an existing file (device and inode; on Windows volume serial
// number and file index), to tell when two names are the same file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool exists = false;
    bool operator==(const FileIdentity& o) const {
        return exists && o.exists && device == o.device && inode == o.inode;
    }
};
FileIdentity identify(const WString& name);

// Renews the modification time of an existing file. False when it cannot.
bool touch(const WString& name);

// The line end a text file gets for "\n": "\n", or "\r\n" on Windows.
extern const std::string_view kTextLineEnd;

// One entry of a directory search.
struct DirEntry {
    WString name;
    bool hidden = false;
    bool system = false;
    bool directory = false;
};

// Wildcard directory search over the last component of a path ("*" any run,
// "?" one character, "*.*" every name). POSIX: the names are matched case
// by case and come in byte order; hidden means a name starting with ".", and
// what is neither a regular file nor a directory counts as system. Windows:
// the system search matches and orders the names, and the flags are the
// entries' attributes.
class DirSearch {
public:
    // False when nothing matches. The first entry is put into entry.
    bool findFirst(const WString& pathPattern, DirEntry& entry);
    bool findNext(DirEntry& entry);
    void close();

private:
    std::vector<DirEntry> entries_;
    std::size_t next_ = 0;
};

// The separator put between a directory and a name pattern when a walk goes
// down into a sub-directory.
extern const char16_t kPathSeparator;
// The characters that end the directory part of a path ("/" and "\\"; a
// drive colon only where there are drives).
extern const char16_t* const kDirSeparators;

// True when a name put behind a directory prefix could reach outside that
// directory: an absolute name, a ".." component, or on Windows a drive or
// stream colon or a component of only dots and blanks that the system would
// read as "..".
bool escapesDirectory(std::u16string_view name);

#ifndef _WIN32
// The matcher of the POSIX directory search (on Windows the system matches).
bool wildcardMatch(std::u16string_view pattern, std::u16string_view name);
#endif

}  // namespace platform
}  // namespace tarvo
