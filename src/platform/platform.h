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

#include "text/utf.h"

namespace tarvo {

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

#ifndef _WIN32
// Turns the process arguments into wide strings (argv[0] included). On
// Windows the system hands them over wide.
std::vector<WString> wideArguments(int argc, char** argv);
#endif

// A wide string as the bytes the console or the file system gets. Units that
// stand for undecodable argument bytes become those bytes again.
std::string toUtf8Bytes(const WString& text);

// Console output. Messages are written as they come, unbuffered by us.
// True when every byte went out (standard output may be a file that fills).
bool writeOut(std::string_view bytes);
void writeErr(std::string_view bytes);
// Standard output is a terminal (a console), where someone may watch it.
bool outputIsTerminal();

// A folder held open. The names in it are reached through the handle, not
// through its path again, so a walk can go deeper than the system's limit on
// the length of a path. The default folder is the current one. Names given
// with a folder are relative to it; a name may hold "/" (and "\\" where that
// is a separator) to reach further down.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Opens the folder at name (links followed). False when there is no
    // folder there or it cannot be opened.
    bool open(const Folder& at, const WString& name);
    // Opens the folder at name, which must lie in at or below it with every
    // link resolved: a name or link that leads out of at is refused, also
    // when a folder on the way is swapped for a link meanwhile. Everything
    // later done through the handle stays there. On Windows the folder is
    // kept as a path whose final path is checked once, so a folder on the way
    // swapped for a link between that check and a write can still send the
    // write out of at.
    bool openBeneath(const Folder& at, const WString& name);
    // Back to the current folder.
    void close();

#ifdef _WIN32
    // The folder's path with its final separator; empty for the current one.
    const NativePath& path() const { return path_; }
#else
    // The descriptor for the *at calls (AT_FDCWD for the current folder).
    int handle() const;
#endif

private:
#ifdef _WIN32
    NativePath path_;
#else
    int fd_ = -1;
#endif
};

// The current folder, for calls that take a folder.
const Folder& currentFolder();

// Identity of an existing file (device and inode; on Windows volume serial
// number and file index), to tell when two names are the same file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool exists = false;
    bool operator==(const FileIdentity& o) const {
        return exists && o.exists && device == o.device && inode == o.inode;
    }
    bool operator<(const FileIdentity& o) const {
        return device != o.device ? device < o.device : inode < o.inode;
    }
};
// A file opened for reading raw bytes: front to back (read), or at explicit
// offsets (readAt, equalAt). A file is read one way or the other, not both.
// Reads at offsets go to the system as the caller asks for them: callers
// read in large windows.
class ReadFile {
public:
    ReadFile() = default;
    ~ReadFile();
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;

    // Opens a regular file (links followed); anything else is refused.
    bool open(const Folder& at, const WString& name);
    // Opens a file that a listing or a status has just shown to be a regular
    // file with this identity, without asking again.
    bool open(const Folder& at, const WString& name, const FileIdentity& known);
    bool open(const WString& name) { return open(currentFolder(), name); }
    // The process's standard input (a pipe, a file or a terminal), read from
    // where it stands. It stays open when this file is closed.
    bool openStandardInput();
    bool isOpen() const { return fd_ >= 0; }
    // The file opened by open().
    const FileIdentity& identity() const { return identity_; }
    void close();
    // Reads the next bytes, up to count, with one call of the system: a pipe
    // or a terminal gives what it holds so far. Returns the count read, 0 at
    // the end, or -1 on a hard read error.
    long read(char* into, std::size_t count);
    // True once read has met the end or an error: it gives nothing more. On
    // a file on disk a short read is the end (no read is spent to learn it).
    bool exhausted() const { return exhausted_; }
    // Reads up to count bytes at offset. Returns the count read (short at the
    // end of the file), or -1 on a hard read error.
    long readAt(std::uint64_t offset, char* into, std::size_t count);
    // True when the file holds exactly these bytes at offset (compared in
    // place, without copying them out).
    bool equalAt(std::uint64_t offset, std::string_view bytes);
private:
    // One read of the system at offset: the count read, or -1 on an error.
    long readDirect(std::uint64_t offset, char* into, std::size_t count);
    // One read of the system where the file stands: the count read, 0 at
    // the end, or -1 on an error.
    long readNext(char* into, std::size_t count);
    // Closes the system's file, unless it is standard input.
    void closeNative();
    friend bool touch(const Folder& at, const WString& name, const ReadFile& file, std::int64_t& changeTime);

    NativeFile fd_ = -1;
    FileIdentity identity_;
    bool borrowed_ = false;   // standard input: not ours to close
    bool onDisk_ = false;     // a file on disk, whose short read is its end
    bool exhausted_ = false;  // read met the end or an error
};


// What a name holds, its last component looked at itself: a link is a link,
// not what it points to.
enum class FileKind { Missing, Regular, Directory, Link, Other };

// What a name holds and, when it exists, the identity of the file it leads to
// (for a link, of the file at its end).
struct FileStatus {
    FileKind kind = FileKind::Missing;
    FileIdentity identity;
    std::uint64_t size = 0;  // of a regular file
    // When the file itself last changed (its contents, names or times), in
    // nanoseconds of the system's clock; 0 where the system does not say. A
    // file made later that takes the same identity (a reused inode) has
    // another.
    std::int64_t changeTime = 0;
};
FileStatus statusOf(const Folder& at, const WString& name);

#ifndef _WIN32
template <class Item>
class SignalSlot;
struct NamedTemporary;
#endif

// A file written in a temporary beside its final name and put in place only
// by commit(), so that a failure never leaves a partial file. What may be
// replaced is the caller's to decide (io/output_file.h): the rename replaces
// whatever holds the name then, a link itself rather than what it points to.
// The temporary has no name where the system allows, but for the moment it
// replaces an older file (so a killed process leaves at most that one
// behind), otherwise a short hidden one all along. A named temporary is
// removed on failure, and on the usual signals whichever thread writes it.
class ReplaceFile {
public:
    ReplaceFile() = default;
    ~ReplaceFile();  // discards an uncommitted temporary
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    // Starts the file name (a plain name, no folder part) in the folder at,
    // which must stay open until commit() or discard().
    bool create(const Folder& at, const WString& name);
    // Writes text; "\n" becomes the platform's text line end.
    bool write(std::string_view bytes);
    // Writes bytes exactly as given (text already in the file's own form).
    bool writeRaw(std::string_view bytes);
    bool commit();
    void discard();
    // The file put in place by the last successful commit(), and its change
    // time once it was in place (as FileStatus has it).
    const FileIdentity& identity() const { return identity_; }
    std::int64_t changeTime() const { return changeTime_; }

private:
    NativeFile fd_ = -1;
    FileIdentity identity_;
    std::int64_t changeTime_ = 0;
#ifdef _WIN32
    NativePath finalPath_;
    NativePath tempPath_;
#else
    int dirFd_ = -1;        // the folder of the file (the caller's handle)
    std::string base_;      // the file's name in it
    std::string tempName_;  // the named temporary, or empty
    bool unnamed_ = false;  // the temporary has no name until commit()
    SignalSlot<NamedTemporary>* slot_ = nullptr;  // where the signal handler finds the named one
    bool noteStatus();
    template <class Make>
    bool makeNamed(Make make);
#endif
};

FileIdentity identify(const Folder& at, const WString& name);
inline FileIdentity identify(const WString& name) { return identify(currentFolder(), name); }

// True when the existing file at name may be written by us (not read-only
// for this user).
bool mayWrite(const Folder& at, const WString& name);

// Renews the modification time of the existing file at name, open as file:
// through that handle where the system allows it. False when it cannot.
// changeTime becomes the file's change time afterwards (as FileStatus has
// it).
bool touch(const Folder& at, const WString& name, const ReadFile& file, std::int64_t& changeTime);


// Creates the folder at path and every missing folder above it. True when
// the folder exists afterwards.
bool makeFolders(const WString& path);

// Makes the folder name in at. True when it was made or a name is there already.
bool makeFolder(const Folder& at, const WString& name);

// Opens into folder the folder at path below at, making each missing folder
// on the way. Like Folder::openBeneath it never leaves at: a name or link
// that leads out of it is refused, and nothing is made outside it.
bool makeFoldersBeneath(const Folder& at, const WString& path, Folder& folder);

// The last modification time of the file at name (links followed), in
// nanoseconds of the system's clock; false when there is no such file.
bool modificationTime(const Folder& at, const WString& name, std::int64_t& time);

// Where an open folder really is: its path with every link resolved, as the
// system records it for the handle. Empty when the system does not say.
NativePath realLocation(const Folder& folder);

// True when the real location inner is outer or lies below it; names then
// holds the folders on the way down from outer (none when they are the same).
bool namesBelow(const NativePath& outer, const NativePath& inner, std::vector<WString>& names);

// One entry of a directory search.
struct DirEntry {
    WString name;
    bool hidden = false;
    bool system = false;
    bool directory = false;
    FileIdentity identity;  // of what the name leads to; set for files
};

// The entry a directory search of `at` gives for name, its flags set as the
// search sets them. False when there is no such name.
bool entryOf(const Folder& at, const WString& name, DirEntry& entry);

// True when a directory search for pattern takes name as a match.
bool searchMatches(const WString& pattern, const WString& name);

// Wildcard directory search over the names in one folder ("*" any run, "?"
// one character, "*.*" every name). POSIX: the names are matched case by case
// and come in byte order; hidden means a name starting with ".", and what is
// neither a regular file nor a directory counts as system. A name's "\\" is
// a character of the name there, never a separator. Windows: the system
// search matches and orders the names, and the flags are the entries'
// attributes. The whole listing is taken at once, so files written while a
// walk goes on are never found by it.
class DirSearch {
public:
    // False when nothing matches or the folder cannot be read; failed() tells
    // the two apart. The first entry is put into entry.
    bool findFirst(const Folder& folder, const WString& pattern, DirEntry& entry);
    // The same for a path whose last component is the pattern.
    bool findFirst(const WString& pathPattern, DirEntry& entry);
    bool findNext(DirEntry& entry);
    void close();
    bool failed() const { return failed_; }

private:
    std::vector<DirEntry> entries_;
    std::size_t next_ = 0;
    bool failed_ = false;
#ifndef _WIN32
    // The whole folder as last read, kept for a second search in it: a walk
    // looks for its pattern and then for sub-folders in the same folder.
    struct Listed {
        std::string bytes;
        DirEntry entry;
        bool resolved = false;  // the kind and identity are known
    };
    bool list(const Folder& folder);
    std::vector<Listed> listing_;
    const Folder* listedFolder_ = nullptr;
    int listedHandle_ = -1;
    std::uint64_t listedDevice_ = 0;
#endif
};

// Sets up the process: a write past the file-size limit fails with an error
// instead of killing the process, and an interrupt, termination or hang-up
// removes the named temporaries and stops the programs being run before the
// process ends by the same signal.
void prepareProcess();

// How many files the process may hold open at once (descriptors on POSIX,
// the soft limit); a run keeps its pages, pictures and folders under it.
std::size_t openFileLimit();

#ifdef _WIN32
// The separator put between a directory and a name pattern when a walk goes
// down into a sub-directory.
inline constexpr char16_t kPathSeparator = u'\\';
// The characters that end the directory part of a path: "/", "\\" and,
// where there are drives, the drive colon.
inline constexpr const char16_t* kDirSeparators = u"/\\:";
// The line end a text file gets for "\n".
inline constexpr std::string_view kTextLineEnd = "\r\n";
#else
inline constexpr char16_t kPathSeparator = u'/';
inline constexpr const char16_t* kDirSeparators = u"/\\";
inline constexpr std::string_view kTextLineEnd = "\n";
#endif

// The folder part of a path: up to and with its last separator, or empty.
WString folderPart(const WString& path);

// A short hidden name for a temporary, different at each call: a name of any
// length that the file system takes still leaves room for it.
std::string temporaryName();

// True when a name put behind a directory prefix could reach outside that
// directory: an absolute name, a ".." component, or on Windows a drive or
// stream colon or a component of only dots and blanks that the system would
// read as "..".
bool escapesDirectory(std::u16string_view name);

// "*" any run, "?" any one character, every other character itself; "*.*"
// matches every name. The matcher of the POSIX directory search (on Windows
// the system's search matches, letters in any case).
bool wildcardMatch(std::u16string_view pattern, std::u16string_view name);

}  // namespace platform
}  // namespace tarvo
