// Windows implementation of the operating-system layer, over the wide (UTF-16)
// system calls. Wide strings go to the system unchanged; text for the console
// and for messages is UTF-8.
//
// Console output: when a standard handle is a console, the UTF-8 text is
// turned into UTF-16 and written with WriteConsoleW, so every character shows
// whatever the console's code page is (and the code page is left alone). When
// the handle is redirected to a file or a pipe, the UTF-8 bytes are written
// as they are, with each "\n" written as "\r\n", as a text-mode stream does.
#include "platform/platform.h"

#include "platform/windows_api.h"

#include <algorithm>
#include <cstring>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide strings are UTF-16 here");

namespace tarvo {

namespace platform {

namespace {

std::wstring nativePath(const WString& name) { return std::wstring(name.begin(), name.end()); }

WString fromNative(const wchar_t* name) { return WString(name, name + std::wcslen(name)); }

HANDLE handleOf(NativeFile file) { return reinterpret_cast<HANDLE>(file); }

NativeFile fileOf(HANDLE handle) { return reinterpret_cast<NativeFile>(handle); }

FileIdentity identityOf(HANDLE h) {
    FileIdentity id;
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(h, &info)) {
        id.exists = true;
        id.device = info.dwVolumeSerialNumber;
        id.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    return id;
}

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::wstring utf16Of(std::string_view bytes) {
    const WString wide = wideOf(bytes, false);
    return std::wstring(wide.begin(), wide.end());
}

// A path the wide calls take at any length: past the classic limit it is
// made absolute and given the "\\?\" prefix (which also turns off the
// system's own rewriting of "/" and of trailing dots).
std::wstring longPath(const std::wstring& path) {
    if (path.size() < 240 || path.rfind(L"\\\\?\\", 0) == 0) return path;
    const DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0) return path;
    std::wstring full(need, L'\0');
    const DWORD n = ::GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
    if (n == 0 || n >= need) return path;
    full.resize(n);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring joined(const Folder& at, const WString& name) { return at.path() + nativePath(name); }

// The final path of an existing folder, every link resolved; empty when it
// cannot be opened.
std::wstring finalFolderPath(const std::wstring& path) {
    HANDLE h = ::CreateFileW(longPath(path.empty() ? L"." : path).c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::wstring resolved(MAX_PATH, L'\0');
    DWORD n = ::GetFinalPathNameByHandleW(h, resolved.data(), static_cast<DWORD>(resolved.size()), 0);
    if (n >= resolved.size()) {
        resolved.resize(n);
        n = ::GetFinalPathNameByHandleW(h, resolved.data(), static_cast<DWORD>(resolved.size()), 0);
    }
    ::CloseHandle(h);
    if (n == 0 || n >= resolved.size()) return {};
    resolved.resize(n);
    while (!resolved.empty() && resolved.back() == L'\\') resolved.pop_back();
    return resolved;
}

bool writeAll(HANDLE h, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(h, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// The bytes with every "\n" turned into "\r\n".
std::string withCrLf(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16 + 2);
    for (char c : bytes) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

bool writeStd(DWORD which, std::string_view bytes) {
    HANDLE h = ::GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
    if (bytes.empty()) return true;
    DWORD mode = 0;
    if (::GetConsoleMode(h, &mode)) {
        std::wstring text = utf16Of(bytes);
        const wchar_t* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 16384));
            DWORD written = 0;
            if (!::WriteConsoleW(h, p, chunk, &written, nullptr) || written == 0) return false;
            p += written;
            left -= written;
        }
        return true;
    }
    const std::string text = withCrLf(bytes);
    return writeAll(h, text.data(), text.size());
}

}  // namespace

bool writeOut(std::string_view bytes) { return writeStd(STD_OUTPUT_HANDLE, bytes); }

bool outputIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void writeErr(std::string_view bytes) { writeStd(STD_ERROR_HANDLE, bytes); }

// ---- ReadFile ----

ReadFile::~ReadFile() { close(); }

bool ReadFile::open(const Folder& at, const WString& name) {
    close();
    // Other readers, writers and deleters are not locked out.
    HANDLE h = ::CreateFileW(longPath(joined(at, name)).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    // Only disk files: a console, a device or a pipe could keep a read
    // waiting for ever.
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return false;
    }
    fd_ = fileOf(h);
    identity_ = identityOf(h);
    onDisk_ = true;
    return true;
}

// Windows asks nothing more of a file once it is open: the same as open().
bool ReadFile::open(const Folder& at, const WString& name, const FileIdentity&) { return open(at, name); }

bool ReadFile::openStandardInput() {
    close();
    HANDLE h = ::GetStdHandle(STD_INPUT_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
    fd_ = fileOf(h);
    borrowed_ = true;
    onDisk_ = ::GetFileType(h) == FILE_TYPE_DISK;
    return true;
}

void ReadFile::closeNative() {
    if (fd_ >= 0 && !borrowed_) ::CloseHandle(handleOf(fd_));
}

long ReadFile::readDirect(std::uint64_t offset, char* into, std::size_t count) {
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!::ReadFile(handleOf(fd_), into, static_cast<DWORD>(count), &got, &where))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<long>(got);
}

long ReadFile::readNext(char* into, std::size_t count) {
    DWORD got = 0;
    if (!::ReadFile(handleOf(fd_), into, static_cast<DWORD>(count), &got, nullptr)) {
        // A pipe whose writer has gone is at its end.
        const DWORD error = ::GetLastError();
        return error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return static_cast<long>(got);
}

// ---- folders ----

bool Folder::open(const Folder& at, const WString& name) {
    std::wstring path = joined(at, name);
    if (!path.empty()) {
        const DWORD attributes = ::GetFileAttributesW(longPath(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
        if (path.back() != L'\\' && path.back() != L'/' && path.back() != L':') path.push_back(L'\\');
    }
    path_ = std::move(path);
    return true;
}

void Folder::close() { path_.clear(); }

Folder::~Folder() = default;
Folder::Folder(Folder&& other) noexcept = default;
Folder& Folder::operator=(Folder&& other) noexcept = default;

namespace {

FileKind kindAt(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileKind::Missing : FileKind::Other;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return FileKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::Directory;
    // A device name (NUL, CON, COM1 ...) is no disk file.
    HANDLE h = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FileKind::Other;
    const bool disk = ::GetFileType(h) == FILE_TYPE_DISK;
    ::CloseHandle(h);
    return disk ? FileKind::Regular : FileKind::Other;
}


}  // namespace

FileStatus statusOf(const Folder& at, const WString& name) {
    FileStatus status;
    const std::wstring path = longPath(joined(at, name));
    status.kind = kindAt(path);
    if (status.kind != FileKind::Missing) status.identity = identify(at, name);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (status.kind == FileKind::Regular && ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        status.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return status;
}

void prepareProcess() {}

// Handles are limited only by memory; a run still keeps them in bounds.
std::size_t openFileLimit() { return 16384; }

// ---- ReplaceFile ----

ReplaceFile::~ReplaceFile() { discard(); }

bool ReplaceFile::create(const Folder& at, const WString& name) {
    discard();
    if (name.empty() || name.find_first_of(u"/\\:") != WString::npos) return false;
    finalPath_ = longPath(joined(at, name));
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempPath_ = longPath(at.path() + utf16Of(temporaryName()));
        HANDLE h = ::CreateFileW(tempPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            fd_ = fileOf(h);
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    tempPath_.clear();
    return false;
}

bool ReplaceFile::write(std::string_view bytes) {
    if (fd_ < 0) return false;
    // Text mode: the line end of the platform.
    const std::string text = withCrLf(bytes);
    return writeAll(handleOf(fd_), text.data(), text.size());
}

bool ReplaceFile::writeRaw(std::string_view bytes) {
    if (fd_ < 0) return false;
    return writeAll(handleOf(fd_), bytes.data(), bytes.size());
}

bool ReplaceFile::commit() {
    if (fd_ < 0) return false;
    identity_ = identityOf(handleOf(fd_));
    bool ok = identity_.exists && ::CloseHandle(handleOf(fd_)) != 0;
    fd_ = -1;
    // The temporary was hidden while it was written. The file takes the
    // hidden and system flags of the one it replaces, and no others.
    DWORD keep = 0;
    const DWORD old = ::GetFileAttributesW(finalPath_.c_str());
    if (old != INVALID_FILE_ATTRIBUTES) keep = old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (ok) ok = ::SetFileAttributesW(tempPath_.c_str(), keep ? keep : FILE_ATTRIBUTE_NORMAL) != 0;
    if (ok) ok = ::MoveFileExW(tempPath_.c_str(), finalPath_.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) ::DeleteFileW(tempPath_.c_str());
    tempPath_.clear();
    return ok;
}

void ReplaceFile::discard() {
    if (fd_ >= 0) ::CloseHandle(handleOf(fd_));
    fd_ = -1;
    if (!tempPath_.empty()) ::DeleteFileW(tempPath_.c_str());
    tempPath_.clear();
}

bool mayWrite(const Folder& at, const WString& name) {
    const DWORD attributes = ::GetFileAttributesW(longPath(joined(at, name)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
}

// A file open for reading cannot take a new time through its handle here.
// NTFS file identities change when a number is used again (their sequence
// part): the change time is not needed to tell a new file, and not asked.
bool touch(const Folder& at, const WString& name, const ReadFile&, std::int64_t& changeTime) {
    changeTime = 0;
    HANDLE h = ::CreateFileW(longPath(joined(at, name)).c_str(), FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const bool ok = ::SetFileTime(h, nullptr, nullptr, &now) != 0;
    ::CloseHandle(h);
    return ok;
}

// ---- identity ----

FileIdentity identify(const Folder& at, const WString& name) {
    // No access asked for: only the file's information is read. Directories
    // open with backup semantics.
    HANDLE h = ::CreateFileW(longPath(name.empty() && at.path().empty() ? L"." : joined(at, name)).c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FileIdentity();
    const FileIdentity id = identityOf(h);
    ::CloseHandle(h);
    return id;
}

bool Folder::openBeneath(const Folder& at, const WString& name) {
    if (escapesDirectory(name)) return false;
    std::vector<WString> names;
    return namesBelow(finalFolderPath(at.path()), finalFolderPath(joined(at, name)), names) && open(at, name);
}

NativePath realLocation(const Folder& folder) { return finalFolderPath(folder.path()); }

bool namesBelow(const NativePath& outer, const NativePath& inner, std::vector<WString>& names) {
    names.clear();
    if (outer.empty() || inner.size() < outer.size()) return false;
    // Names compare as the file system does: letters in any case.
    if (::CompareStringOrdinal(inner.c_str(), static_cast<int>(outer.size()), outer.c_str(),
                               static_cast<int>(outer.size()), TRUE) != CSTR_EQUAL)
        return false;
    if (inner.size() == outer.size()) return true;
    if (inner[outer.size()] != L'\\') return false;
    for (std::size_t at = outer.size() + 1; at < inner.size();) {
        std::size_t end = inner.find(L'\\', at);
        if (end == std::wstring::npos) end = inner.size();
        names.push_back(fromNative(inner.substr(at, end - at).c_str()));
        at = end + 1;
    }
    return true;
}

bool entryOf(const Folder& at, const WString& name, DirEntry& entry) {
    if (name.empty() || name.find_first_of(u"/\\:") != WString::npos) return false;
    const DWORD attributes = ::GetFileAttributesW(longPath(joined(at, name)).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    entry.name = name;
    entry.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    entry.system = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    entry.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.identity = entry.directory || entry.hidden || entry.system ? FileIdentity() : identify(at, name);
    return true;
}

// The system's search matches names with letters in any case.
bool searchMatches(const WString& pattern, const WString& name) {
    std::wstring p = nativePath(pattern), n = nativePath(name);
    ::CharUpperBuffW(p.data(), static_cast<DWORD>(p.size()));
    ::CharUpperBuffW(n.data(), static_cast<DWORD>(n.size()));
    return wildcardMatch(WString(p.begin(), p.end()), WString(n.begin(), n.end()));
}

bool makeFolders(const WString& path) {
    const std::wstring p = nativePath(path);
    for (std::size_t at = p.find_first_of(L"/\\", 1); ; at = p.find_first_of(L"/\\", at + 1)) {
        const std::wstring prefix = p.substr(0, at);
        if (!prefix.empty() && prefix.back() != L':') ::CreateDirectoryW(longPath(prefix).c_str(), nullptr);
        if (at == std::wstring::npos) break;
    }
    const DWORD attributes = ::GetFileAttributesW(longPath(p).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool makeFolder(const Folder& at, const WString& name) {
    return ::CreateDirectoryW(longPath(joined(at, name)).c_str(), nullptr) != 0 ||
           ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool modificationTime(const Folder& at, const WString& name, std::int64_t& time) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(longPath(joined(at, name)).c_str(), GetFileExInfoStandard, &data)) return false;
    // In units of 100 ns.
    time = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                     data.ftLastWriteTime.dwLowDateTime) * 100;
    return true;
}

// ---- directory search ----

bool DirSearch::findFirst(const Folder& folder, const WString& pattern, DirEntry& entry) {
    close();
    WIN32_FIND_DATAW found;
    HANDLE h = ::FindFirstFileExW(longPath(joined(folder, pattern)).c_str(), FindExInfoBasic, &found,
                                  FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        failed_ = error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES;
        return false;
    }
    // The whole listing is taken at once, in the system's order.
    do {
        DirEntry e;
        e.name = fromNative(found.cFileName);
        e.hidden = (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        e.system = (found.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
        e.directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!e.directory && !e.hidden && !e.system) e.identity = identify(folder, e.name);
        entries_.push_back(std::move(e));
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return findNext(entry);
}

}  // namespace platform
}  // namespace tarvo
