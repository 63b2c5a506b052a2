// POSIX implementation of the operating-system layer. Arguments and file names
// are bytes here: they are decoded from UTF-8 into UTF-16, and every byte that
// does not decode is kept as the unit 0xDC00 + byte (text/utf.h), so that it
// goes back to the same byte at the file-system boundary.
#include "platform/platform.h"
#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#ifdef __linux__
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace tarvo {

namespace platform {

namespace {

// A name read from a directory: its bytes decoded, every byte kept, and a
// "\\" kept as a character of the name (the unit 0xDC00 + "\\"), which no
// later step may take for a separator. toUtf8Bytes gives the bytes back.
WString listedName(std::string_view bytes) {
    WString name = wideOf(bytes, true);
    std::replace(name.begin(), name.end(), u'\\', static_cast<char16_t>(0xDC00 + '\\'));
    return name;
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
    for (int i = 0; i < argc; ++i) args.push_back(wideOf(argv[i], true));
    return args;
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

// ---- folders ----

namespace {

// A name as a path for the *at calls: "." for the folder itself.
std::string relativePath(const WString& name) { return name.empty() ? std::string(".") : nativePath(name); }

}  // namespace

Folder::~Folder() { close(); }

Folder::Folder(Folder&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool Folder::open(const Folder& at, const WString& name) {
    const int fd = ::openat(at.handle(), relativePath(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    close();
    fd_ = fd;
    return true;
}

void Folder::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int Folder::handle() const { return fd_ >= 0 ? fd_ : AT_FDCWD; }

const Folder& currentFolder() {
    static const Folder current;
    return current;
}

namespace {

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

// The real path of an open folder, from the kernel's own record of it.
bool realPathOf(int fd, std::string& out) {
    if (fd == AT_FDCWD) {
        char* cwd = ::getcwd(nullptr, 0);
        if (!cwd) return false;
        out = cwd;
        std::free(cwd);
        return true;
    }
    char buffer[PATH_MAX + 1];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(self.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0 || buffer[0] != '/') return false;
    out.assign(buffer, static_cast<std::size_t>(n));
    return true;
}

}  // namespace

bool Folder::openBeneath(const Folder& at, const WString& name) {
    const std::string path = relativePath(name);
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    int fd = -1;
#ifdef SYS_openat2
    // The kernel resolves the name and refuses any step out of at.
    struct open_how how = {};
    how.flags = kFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    fd = static_cast<int>(::syscall(SYS_openat2, at.handle(), path.c_str(), &how, sizeof how));
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) {
        if (fd < 0) return false;
        close();
        fd_ = fd;
        return true;
    }
#endif
    // Without openat2: open, then check where the opened folder really is.
    // The check is of the handle itself, so what is done through it later
    // cannot be sent elsewhere by a link put in place meanwhile.
    fd = ::openat(at.handle(), path.c_str(), kFlags);
    if (fd < 0) return false;
    std::string inner, outer;
    const bool inside = realPathOf(fd, inner) && realPathOf(at.handle(), outer) &&
                        (outer == "/" || inner == outer ||
                         (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
                          inner[outer.size()] == '/'));
    if (!inside) {
        ::close(fd);
        return false;
    }
    close();
    fd_ = fd;
    return true;
}

FileStatus statusOf(const Folder& at, const WString& name) {
    FileStatus status;
    const std::string path = relativePath(name);
    struct stat st;
    if (::fstatat(at.handle(), path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) status.kind = FileKind::Other;
        return status;
    }
    if (S_ISLNK(st.st_mode)) {
        status.kind = FileKind::Link;
        if (::fstatat(at.handle(), path.c_str(), &st, 0) == 0) status.identity = identityOf(st);
        return status;
    }
    status.kind = S_ISREG(st.st_mode) ? FileKind::Regular : S_ISDIR(st.st_mode) ? FileKind::Directory : FileKind::Other;
    status.identity = identityOf(st);
    return status;
}

// ---- ReadFile ----

ReadFile::~ReadFile() { close(); }

bool ReadFile::open(const Folder& at, const WString& name) {
    close();
    // Only regular files are read. O_NONBLOCK: opening a FIFO must not wait
    // for a writer (for a regular file the flag changes nothing).
    int fd = ::openat(at.handle(), relativePath(name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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

namespace {

// The named temporaries that exist right now, for the signal handler, which
// can reach nothing else: it removes them before the process dies. A slot is
// filled before its file is made and emptied after the file is gone. Pictures
// are written on threads of their own, so a slot is claimed atomically:
// taken (1) while it is filled, ready (2) once the handler may use it.
struct PendingTemporary {
    std::atomic<int> state{0};
    int dirFd = -1;
    char name[32] = {};
};
PendingTemporary pendingTemporaries[8];

int claimSlot(int dirFd, const std::string& name) {
    for (int i = 0; i < 8; ++i) {
        PendingTemporary& p = pendingTemporaries[i];
        int free = 0;
        if (name.size() >= sizeof p.name || !p.state.compare_exchange_strong(free, 1)) continue;
        p.dirFd = dirFd;
        std::memcpy(p.name, name.c_str(), name.size() + 1);
        p.state.store(2);
        return i;
    }
    return -1;  // more at once than slots: the file is only not removed on a signal
}

void releaseSlot(int& slot) {
    if (slot >= 0) pendingTemporaries[slot].state.store(0);
    slot = -1;
}

extern "C" void removeTemporariesAndDie(int signalNumber) {
    for (PendingTemporary& p : pendingTemporaries)
        if (p.state.load() == 2) ::unlinkat(p.dirFd, p.name, 0);
    killRunningProcesses();
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

// A short hidden name for a temporary: a name of any length that the file
// system takes still leaves room for it.
std::string temporaryName() {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device rd;
    std::uint32_t r = rd();
    std::string name = ".tarvo-";
    for (int k = 0; k < 6; ++k, r /= 36) name.push_back(kDigits[r % 36]);
    return name + ".tmp";
}

// An unnamed temporary gets its name through /proc at commit.
bool canNameUnnamedFiles() { return ::access("/proc/self/fd", X_OK) == 0; }

}  // namespace

void prepareProcess() {
    ::signal(SIGXFSZ, SIG_IGN);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old;
        // A signal the caller ignores (nohup, a background job) stays ignored.
        if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::signal(s, removeTemporariesAndDie);
    }
}

ReplaceFile::~ReplaceFile() { discard(); }

bool ReplaceFile::create(const Folder& at, const WString& name) {
    discard();
    const std::string path = nativePath(name);
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    base_ = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base_.empty()) return false;
    dirFd_ = ::openat(at.handle(), dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) return false;
    if (canNameUnnamedFiles()) {
        fd_ = ::openat(dirFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            unnamed_ = true;
            return true;
        }
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempName_ = temporaryName();
        slot_ = claimSlot(dirFd_, tempName_);
        fd_ = ::openat(dirFd_, tempName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) return true;
        releaseSlot(slot_);
        if (errno != EEXIST) break;
    }
    tempName_.clear();
    discard();
    return false;
}

bool ReplaceFile::write(std::string_view bytes) {
    if (fd_ < 0) return false;
    return writeAll(static_cast<int>(fd_), bytes.data(), bytes.size());
}

bool ReplaceFile::writeRaw(std::string_view bytes) { return write(bytes); }

bool ReplaceFile::commit() {
    if (fd_ < 0) return false;
    const int fd = static_cast<int>(fd_);
    // Keep the permission bits an existing file had, never its set-user-ID,
    // set-group-ID or sticky bits: the new file is ours, not its owner's.
    struct stat st;
    if (::fstatat(dirFd_, base_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
        ::fchmod(fd, st.st_mode & 0777);
    bool ok = ::fstat(fd, &st) == 0;
    if (ok) identity_ = identityOf(st);
    if (unnamed_) {
        // The unnamed file gets a temporary name, then takes the final one.
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        ok = false;
        for (int attempt = 0; attempt < 16 && !ok; ++attempt) {
            tempName_ = temporaryName();
            slot_ = claimSlot(dirFd_, tempName_);
            ok = ::linkat(AT_FDCWD, self.c_str(), dirFd_, tempName_.c_str(), AT_SYMLINK_FOLLOW) == 0;
            if (!ok) {
                releaseSlot(slot_);
                if (errno != EEXIST) break;
            }
        }
        if (!ok) tempName_.clear();
    }
    if (::close(fd) != 0) ok = false;
    fd_ = -1;
    if (ok) ok = ::renameat(dirFd_, tempName_.c_str(), dirFd_, base_.c_str()) == 0;
    if (ok) {
        tempName_.clear();
        releaseSlot(slot_);
    }
    discard();
    return ok;
}

void ReplaceFile::discard() {
    if (fd_ >= 0) ::close(static_cast<int>(fd_));
    fd_ = -1;
    if (!tempName_.empty()) ::unlinkat(dirFd_, tempName_.c_str(), 0);
    tempName_.clear();
    releaseSlot(slot_);
    if (dirFd_ >= 0) ::close(dirFd_);
    dirFd_ = -1;
    unnamed_ = false;
}

// ---- identity and places ----

FileIdentity identify(const Folder& at, const WString& name) {
    struct stat st;
    return ::fstatat(at.handle(), relativePath(name).c_str(), &st, 0) == 0 ? identityOf(st) : FileIdentity();
}

bool mayWrite(const Folder& at, const WString& name) {
    return ::faccessat(at.handle(), relativePath(name).c_str(), W_OK, 0) == 0;
}

bool touch(const Folder& at, const WString& name) {
    return ::utimensat(at.handle(), relativePath(name).c_str(), nullptr, AT_SYMLINK_NOFOLLOW) == 0;
}

bool makeFolders(const WString& path) {
    const std::string p = nativePath(path);
    for (std::size_t at = p.find('/', 1); ; at = p.find('/', at + 1)) {
        const std::string prefix = p.substr(0, at);
        if (!prefix.empty()) ::mkdir(prefix.c_str(), 0777);  // an existing one is fine
        if (at == std::string::npos) break;
    }
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool makeFolder(const Folder& at, const WString& name) {
    return ::mkdirat(at.handle(), relativePath(name).c_str(), 0777) == 0 || errno == EEXIST;
}

bool modificationTime(const Folder& at, const WString& name, std::int64_t& time) {
    struct stat st;
    if (::fstatat(at.handle(), relativePath(name).c_str(), &st, 0) != 0) return false;
    time = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
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

bool DirSearch::findFirst(const Folder& folder, const WString& pattern, DirEntry& entry) {
    close();
    const int fd = ::openat(folder.handle(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0) ::close(fd);
        failed_ = true;
        return false;
    }
    std::vector<std::pair<std::string, DirEntry>> found;
    for (;;) {
        errno = 0;
        struct dirent* d = ::readdir(dir);
        if (!d) {
            failed_ = errno != 0;
            break;
        }
        std::string bytes = d->d_name;
        DirEntry e;
        e.name = listedName(bytes);
        if (!wildcardMatch(pattern, e.name)) continue;
        e.hidden = !bytes.empty() && bytes[0] == '.';
        struct stat st;
        if (::fstatat(::dirfd(dir), bytes.c_str(), &st, 0) != 0) {
            e.system = true;  // a dangling link or an entry that vanished
        } else if (S_ISDIR(st.st_mode)) {
            e.directory = true;
        } else if (!S_ISREG(st.st_mode)) {
            e.system = true;  // FIFO, socket, device: never opened
        } else {
            e.identity = identityOf(st);
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
