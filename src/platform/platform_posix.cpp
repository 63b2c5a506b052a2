// POSIX implementation of the operating-system layer. Arguments and file names
// are bytes here: they are decoded from UTF-8 into UTF-16, and every byte that
// does not decode is kept as the unit 0xDC00 + byte, so that it goes back to
// the same byte at the file-system boundary.
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace tarvo {

namespace platform {

const char16_t kPathSeparator = u'/';
const char16_t* const kDirSeparators = u"/\\";
const std::string_view kTextLineEnd = "\n";

namespace {

// Decodes UTF-8 bytes; invalid bytes become 0xDC00 + byte.
WString decodeBytes(std::string_view bytes) {
    WString out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        unsigned char c = bytes[i];
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
            unsigned char cc = bytes[i + k];
            if ((cc & 0xC0) != 0x80) ok = false;
            else value = (value << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF do not decode:
        // they would not come back as the same bytes.
        if (ok && (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))) ok = false;
        if (!ok) {
            out.push_back(static_cast<char16_t>(0xDC00 + c));
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

// A wide file name as the bytes of a POSIX path: "\" becomes "/".
std::string nativePath(const WString& name) {
    WString copy = name;
    std::replace(copy.begin(), copy.end(), u'\\', u'/');
    return toUtf8Bytes(copy);
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::vector<WString> wideArguments(int argc, char** argv) {
    std::vector<WString> args;
    args.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) args.push_back(decodeBytes(argv[i]));
    return args;
}

std::string toUtf8Bytes(const WString& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.push_back(static_cast<char>(u - 0xDC00));  // an undecodable byte, restored
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

void writeOut(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void writeErr(std::string_view bytes) {
    std::fflush(stdout);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

// ---- ReadFile ----

ReadFile::~ReadFile() { close(); }

bool ReadFile::open(const WString& name) {
    close();
    std::string path = nativePath(name);
    // Only regular files are read. O_NONBLOCK: opening a FIFO must not wait
    // for a writer (for a regular file the flag changes nothing).
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    cacheLength_ = 0;
    cacheStart_ = 0;
    return true;
}

void ReadFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    cacheLength_ = 0;
}

long ReadFile::readDirect(std::uint64_t offset, char* into, std::size_t count) {
    ssize_t n;
    do {
        n = ::pread(fd_, into, count, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

// ---- ReplaceFile ----

ReplaceFile::~ReplaceFile() { discard(); }

bool ReplaceFile::create(const WString& name) {
    discard();
    finalPath_ = nativePath(name);
    // A page reached through a symbolic link is written where the link
    // points, and a file we may not write stays as it is, as a plain
    // truncating open would have it.
    if (char* real = ::realpath(finalPath_.c_str(), nullptr)) {
        finalPath_ = real;
        std::free(real);
        if (::access(finalPath_.c_str(), W_OK) != 0) return false;
    }
    std::size_t slash = finalPath_.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : finalPath_.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? finalPath_ : finalPath_.substr(slash + 1);
    if (base.empty()) return false;
    struct stat st;
    if (::stat(finalPath_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device rd;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string suffix;
        std::uint32_t r = rd();
        for (int k = 0; k < 6; ++k, r /= 36) suffix.push_back(kDigits[r % 36]);
        tempPath_ = dir + "." + base + "." + suffix + ".tmp";
        int fd = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            return true;
        }
        if (errno != EEXIST) break;
    }
    tempPath_.clear();
    return false;
}

bool ReplaceFile::write(std::string_view bytes) {
    if (fd_ < 0) return false;
    return writeAll(fd_, bytes.data(), bytes.size());
}

bool ReplaceFile::writeRaw(std::string_view bytes) { return write(bytes); }

bool ReplaceFile::commit() {
    if (fd_ < 0) return false;
    // Keep the permissions an existing file had.
    struct stat st;
    if (::stat(finalPath_.c_str(), &st) == 0) ::fchmod(fd_, st.st_mode & 07777);
    bool ok = ::close(fd_) == 0;
    fd_ = -1;
    if (ok) ok = ::rename(tempPath_.c_str(), finalPath_.c_str()) == 0;
    if (!ok) ::unlink(tempPath_.c_str());
    tempPath_.clear();
    return ok;
}

void ReplaceFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
}

// ---- identity ----

FileIdentity identify(const WString& name) {
    FileIdentity id;
    struct stat st;
    std::string path = nativePath(name);
    if (::stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.device = static_cast<std::uint64_t>(st.st_dev);
        id.inode = static_cast<std::uint64_t>(st.st_ino);
    }
    return id;
}

bool touch(const WString& name) {
    return ::utimensat(AT_FDCWD, nativePath(name).c_str(), nullptr, 0) == 0;
}

// ---- directory search ----

bool wildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*.*") return true;
    // Iterative matcher with one back-track point: linear in practice and
    // never recursive.
    std::size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        // "*" first: a name may hold a literal "*", which must not use it up.
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

bool DirSearch::findFirst(const WString& pathPattern, DirEntry& entry) {
    close();
    std::size_t cut = pathPattern.find_last_of(kDirSeparators);
    WString dirPart = cut == WString::npos ? WString() : pathPattern.substr(0, cut + 1);
    WString pattern = cut == WString::npos ? pathPattern : pathPattern.substr(cut + 1);
    std::string dirPath = dirPart.empty() ? std::string(".") : nativePath(dirPart);
    DIR* dir = ::opendir(dirPath.c_str());
    if (!dir) return false;
    std::vector<std::pair<std::string, DirEntry>> found;
    while (struct dirent* d = ::readdir(dir)) {
        std::string bytes = d->d_name;
        DirEntry e;
        e.name = decodeBytes(bytes);
        if (!wildcardMatch(pattern, e.name)) continue;
        e.hidden = !bytes.empty() && bytes[0] == '.';
        std::string full = dirPath + "/" + bytes;
        struct stat st;
        if (::stat(full.c_str(), &st) != 0) {
            e.system = true;  // a dangling link or an entry that vanished
        } else if (S_ISDIR(st.st_mode)) {
            e.directory = true;
        } else if (!S_ISREG(st.st_mode)) {
            e.system = true;  // FIFO, socket, device: never opened
        }
        found.emplace_back(std::move(bytes), std::move(e));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    entries_.reserve(found.size());
    for (auto& f : found) entries_.push_back(std::move(f.second));
    return findNext(entry);
}

}  // namespace platform
}  // namespace tarvo
