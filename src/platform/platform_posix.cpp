// POSIX implementation of the operating-system layer. Arguments and file names
// are bytes here: they are decoded from UTF-8 into UTF-16, and every byte that
// does not decode is kept as the unit 0xDC00 + byte (text/utf.h), so that it
// goes back to the same byte at the file-system boundary. Plain POSIX calls
// throughout; where Linux offers more (platform_linux.h), it is asked first.
#include "platform/platform.h"
#include "platform/platform_linux.h"
#include "platform/process.h"
#include "platform/signal_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

bool outputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

bool writeOut(std::string_view bytes) {
    const bool all = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    return std::fflush(stdout) == 0 && all;
}

void writeErr(std::string_view bytes) {
    std::fflush(stdout);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

namespace {

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

std::int64_t changeTimeOf(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
}

}  // namespace

// ---- folders ----

namespace {

// A name as the *at calls take it: as nativePath makes it, and "." for the
// folder itself. Short names of plain ASCII, nearly all, are made in place
// without asking for memory.
class NativeName {
public:
    explicit NativeName(const WString& name) {
        if (name.empty()) {
            small_[0] = '.';
            small_[1] = '\0';
            return;
        }
        if (name.size() < sizeof small_) {
            std::size_t i = 0;
            for (; i < name.size() && name[i] != 0 && name[i] < 0x80; ++i)
                small_[i] = name[i] == u'\\' ? '/' : static_cast<char>(name[i]);
            if (i == name.size()) {
                small_[i] = '\0';
                return;
            }
        }
        large_ = nativePath(name);
        text_ = large_.c_str();
    }
    NativeName(const NativeName&) = delete;
    NativeName& operator=(const NativeName&) = delete;
    const char* c_str() const { return text_; }

private:
    char small_[256];
    std::string large_;
    const char* text_ = small_;
};

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
    const int fd = ::openat(at.handle(), NativeName(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

namespace {

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The name under which the folder above lists the folder `here`, looked for
// among its entries: first by the inode numbers the listing gives, then,
// where those are not the ones stat gives (a mount point, an overlay), by
// asking each entry.
bool nameInParent(int parent, const struct stat& here, std::string& name) {
    for (const bool byListing : {true, false}) {
        const int fd = ::openat(parent, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
        if (!dir) {
            if (fd >= 0) ::close(fd);
            return false;
        }
        bool found = false;
        while (const struct dirent* d = ::readdir(dir)) {
            const std::string_view entry = d->d_name;
            struct stat st;
            if (entry == "." || entry == ".." || (byListing && d->d_ino != here.st_ino) ||
                ::fstatat(parent, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(st, here))
                continue;
            name = entry;
            found = true;
            break;
        }
        ::closedir(dir);
        if (found) return true;
    }
    return false;
}

// The real path of an open folder found with plain POSIX calls: the name of
// each folder looked up in the one above it, up to the root. False when a
// folder on the way cannot be read.
bool pathByParents(int fd, std::string& out) {
    struct stat here;
    int current = ::dup(fd);
    if (current < 0 || ::fstat(current, &here) != 0) {
        if (current >= 0) ::close(current);
        return false;
    }
    std::vector<std::string> names;
    bool ok = true;
    for (;;) {
        const int parent = ::openat(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat above;
        ok = parent >= 0 && ::fstat(parent, &above) == 0;
        if (ok && sameFile(above, here)) {  // the root is its own parent
            ::close(parent);
            break;
        }
        std::string name;
        ok = ok && nameInParent(parent, here, name);
        ::close(current);
        current = parent;
        if (!ok) break;
        names.push_back(std::move(name));
        here = above;
    }
    if (current >= 0) ::close(current);
    if (!ok) return false;
    out.clear();
    for (auto name = names.rbegin(); name != names.rend(); ++name) out.append(1, '/').append(*name);
    if (out.empty()) out.push_back('/');
    return true;
}

// The real path of an open folder: the kernel's own record of it where it
// keeps one, else worked out from the folders above it.
bool realPathOf(int fd, std::string& out) {
    if (fd == AT_FDCWD) {
        char* cwd = ::getcwd(nullptr, 0);
        if (!cwd) return false;
        out = cwd;
        std::free(cwd);
        return true;
    }
    return linux_only::folderPath(fd, out) || pathByParents(fd, out);
}

}  // namespace

bool Folder::openBeneath(const Folder& at, const WString& name) {
    const NativeName path(name);
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    int fd = linux_only::openFolderBeneath(at.handle(), path.c_str(), kFlags);
    if (fd >= 0 || errno != ENOSYS) {
        if (fd < 0) return false;
        close();
        fd_ = fd;
        return true;
    }
    // Where the kernel cannot check each step: open, then check where the
    // opened folder really is.
    // The check is of the handle itself, so what is done through it later
    // cannot be sent elsewhere by a link put in place meanwhile.
    fd = ::openat(at.handle(), path.c_str(), kFlags);
    if (fd < 0) return false;
    std::string inner, outer;
    std::vector<WString> names;
    const bool inside = realPathOf(fd, inner) && realPathOf(at.handle(), outer) && namesBelow(outer, inner, names);
    if (!inside) {
        ::close(fd);
        return false;
    }
    close();
    fd_ = fd;
    return true;
}

NativePath realLocation(const Folder& folder) {
    std::string path;
    return realPathOf(folder.handle(), path) ? path : std::string();
}

bool namesBelow(const NativePath& outer, const NativePath& inner, std::vector<WString>& names) {
    names.clear();
    if (outer.empty() || inner.compare(0, outer.size(), outer) != 0) return false;
    std::size_t at = outer.size();
    if (outer != "/") {
        if (inner.size() == at) return true;
        if (inner[at] != '/') return false;
        ++at;
    }
    while (at < inner.size()) {
        std::size_t end = inner.find('/', at);
        if (end == std::string::npos) end = inner.size();
        names.push_back(listedName(std::string_view(inner).substr(at, end - at)));
        at = end + 1;
    }
    return true;
}

FileStatus statusOf(const Folder& at, const WString& name) {
    FileStatus status;
    const NativeName path(name);
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
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.changeTime = changeTimeOf(st);
    return status;
}

// ---- ReadFile ----

ReadFile::~ReadFile() { close(); }

bool ReadFile::open(const Folder& at, const WString& name) {
    close();
    // Only regular files are read. O_NONBLOCK: opening a FIFO must not wait
    // for a writer (for a regular file the flag changes nothing).
    int fd = ::openat(at.handle(), NativeName(name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    identity_ = identityOf(st);
    onDisk_ = true;
    return true;
}

bool ReadFile::open(const Folder& at, const WString& name, const FileIdentity& known) {
    close();
    const int fd = ::openat(at.handle(), NativeName(name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    fd_ = fd;
    identity_ = known;
    onDisk_ = true;
    return true;
}

bool ReadFile::openStandardInput() {
    close();
    struct stat st;
    if (::fstat(STDIN_FILENO, &st) != 0) return false;
    fd_ = STDIN_FILENO;
    borrowed_ = true;
    onDisk_ = S_ISREG(st.st_mode);
    return true;
}

void ReadFile::closeNative() {
    if (fd_ >= 0 && !borrowed_) ::close(fd_);
}

long ReadFile::readDirect(std::uint64_t offset, char* into, std::size_t count) {
    ssize_t n;
    do {
        n = ::pread(fd_, into, count, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

long ReadFile::readNext(char* into, std::size_t count) {
    for (;;) {
        const ssize_t n = ::read(fd_, into, count);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        // A standard input left non-blocking by whoever started us: wait
        // for its next bytes.
        pollfd wait = {static_cast<int>(fd_), POLLIN, 0};
        if (::poll(&wait, 1, -1) < 0 && errno != EINTR) return -1;
    }
}

// ---- ReplaceFile ----

// The folder and name of a named temporary, for the signal handler.
struct NamedTemporary {
    int dirFd = -1;
    char name[32] = {};
};

namespace {

// The named temporaries that exist right now, for the signal handler, which
// removes them before the process dies (signal_table.h).
constinit SignalTable<NamedTemporary> namedTemporaries;

extern "C" void removeTemporariesAndDie(int signalNumber) {
    endingBySignal.store(true);
    namedTemporaries.undoAll([](const NamedTemporary& t) { ::unlinkat(t.dirFd, t.name, 0); });
    killRunningProcesses();
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

}  // namespace

std::size_t openFileLimit() {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::size_t(1) << 20;
    return static_cast<std::size_t>(limit.rlim_cur);
}

void prepareProcess() {
    linux_only::tuneAllocator();
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
    base_ = nativePath(name);
    if (base_.empty() || base_.find('/') != std::string::npos) return false;
    dirFd_ = at.handle();
    fd_ = linux_only::openUnnamedFile(dirFd_);
    if (fd_ >= 0) {
        unnamed_ = true;
        return true;
    }
    if (makeNamed([&](const char* temporary) {
            fd_ = ::openat(dirFd_, temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            return fd_ >= 0;
        }))
        return true;
    discard();
    return false;
}

// Makes a file under a new temporary name with make(name), noted first for
// the signal handler; a name that exists already is tried again with
// another.
template <class Make>
bool ReplaceFile::makeNamed(Make make) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempName_ = temporaryName();
        if (!slot_) slot_ = namedTemporaries.claim();
        if (slot_ && tempName_.size() < sizeof slot_->item.name) {
            slot_->item.dirFd = dirFd_;
            std::memcpy(slot_->item.name, tempName_.c_str(), tempName_.size() + 1);
        }
        if (namedTemporaries.makeNoted(slot_, [&] { return make(tempName_.c_str()); })) return true;
        if (errno != EEXIST) break;
    }
    namedTemporaries.release(slot_);
    tempName_.clear();
    return false;
}

bool ReplaceFile::write(std::string_view bytes) {
    if (fd_ < 0) return false;
    return writeAll(static_cast<int>(fd_), bytes.data(), bytes.size());
}

bool ReplaceFile::writeRaw(std::string_view bytes) { return write(bytes); }

// The file's identity, and its change time once it is in place, asked
// through its descriptor.
bool ReplaceFile::noteStatus() {
    struct stat st;
    if (::fstat(static_cast<int>(fd_), &st) != 0) return false;
    identity_ = identityOf(st);
    changeTime_ = changeTimeOf(st);
    return true;
}

bool ReplaceFile::commit() {
    if (fd_ < 0) return false;
    const int fd = static_cast<int>(fd_);
    struct stat st;
    // Where the name is missing, the unnamed file takes it at once.
    if (unnamed_ && linux_only::nameUnnamedFile(fd, dirFd_, base_.c_str())) {
        bool ok = noteStatus();
        ok = ::close(fd) == 0 && ok;
        fd_ = -1;
        discard();
        return ok;
    }
    bool ok = noteStatus();
    // Keep the permission bits an existing file had, never its set-user-ID,
    // set-group-ID or sticky bits: the new file is ours, not its owner's.
    if (::fstatat(dirFd_, base_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
        ::fchmod(fd, st.st_mode & 0777);
    if (ok && unnamed_) {
        // Otherwise it gets a temporary name, then takes the final one.
        ok = makeNamed([&](const char* temporary) { return linux_only::nameUnnamedFile(fd, dirFd_, temporary); });
    }
    if (::close(fd) != 0) ok = false;
    fd_ = -1;
    if (ok) ok = ::renameat(dirFd_, tempName_.c_str(), dirFd_, base_.c_str()) == 0;
    if (ok) {
        // Asked by name: the change time is known only if the name still
        // leads to the file put there.
        changeTime_ = ::fstatat(dirFd_, base_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && identityOf(st) == identity_
                          ? changeTimeOf(st)
                          : 0;
        tempName_.clear();
        namedTemporaries.release(slot_);
    }
    discard();
    return ok;
}

void ReplaceFile::discard() {
    if (fd_ >= 0) ::close(static_cast<int>(fd_));
    fd_ = -1;
    if (!tempName_.empty()) ::unlinkat(dirFd_, tempName_.c_str(), 0);
    tempName_.clear();
    namedTemporaries.release(slot_);
    dirFd_ = -1;
    unnamed_ = false;
}

// ---- identity and places ----

FileIdentity identify(const Folder& at, const WString& name) {
    struct stat st;
    return ::fstatat(at.handle(), NativeName(name).c_str(), &st, 0) == 0 ? identityOf(st) : FileIdentity();
}

bool mayWrite(const Folder& at, const WString& name) {
    return ::faccessat(at.handle(), NativeName(name).c_str(), W_OK, 0) == 0;
}

bool touch(const Folder& at, const WString& name, const ReadFile& file, std::int64_t& changeTime) {
    struct stat st;
    bool touched, asked;
    if (file.isOpen()) {
        const int fd = static_cast<int>(file.fd_);
        touched = ::futimens(fd, nullptr) == 0;
        asked = ::fstat(fd, &st) == 0;
    } else {
        const NativeName path(name);
        touched = ::utimensat(at.handle(), path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) == 0;
        asked = ::fstatat(at.handle(), path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    }
    changeTime = touched && asked ? changeTimeOf(st) : 0;
    return touched;
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
    return ::mkdirat(at.handle(), NativeName(name).c_str(), 0777) == 0 || errno == EEXIST;
}

bool modificationTime(const Folder& at, const WString& name, std::int64_t& time) {
    struct stat st;
    if (::fstatat(at.handle(), NativeName(name).c_str(), &st, 0) != 0) return false;
    time = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

// ---- directory search ----

namespace {

// What the name bytes in the folder dirFd lead to, links followed, as a
// search flags it: a folder, a regular file with its identity, or a system
// entry (a dangling link, an entry that vanished, a FIFO, socket or device:
// never opened).
void resolveEntry(int dirFd, const char* bytes, DirEntry& e) {
    struct stat st;
    if (::fstatat(dirFd, bytes, &st, 0) != 0) e.system = true;
    else if (S_ISDIR(st.st_mode)) e.directory = true;
    else if (!S_ISREG(st.st_mode)) e.system = true;
    else e.identity = identityOf(st);
}

}  // namespace

bool entryOf(const Folder& at, const WString& name, DirEntry& entry) {
    const std::string bytes = toUtf8Bytes(name);
    struct stat st;
    if (bytes.empty() || bytes.find('/') != std::string::npos ||
        ::fstatat(at.handle(), bytes.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    entry = DirEntry();
    entry.name = name;
    entry.hidden = bytes[0] == '.';
    resolveEntry(at.handle(), bytes.c_str(), entry);
    return true;
}

bool searchMatches(const WString& pattern, const WString& name) { return wildcardMatch(pattern, name); }

// Reads the whole folder, sorted by name. Whatever the listing's entry types
// settle needs no further call: a folder, a FIFO or a device; a regular file
// too where the listing gives its inode. Links and the rest are looked up
// when a search needs them.
bool DirSearch::list(const Folder& folder) {
    listing_.clear();
    listedFolder_ = &folder;
    listedHandle_ = folder.handle();
    const int fd = ::openat(folder.handle(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0) ::close(fd);
        listedFolder_ = nullptr;
        return false;
    }
    // Where the listing's inode numbers are not known to be stat's, each
    // regular file is asked when a search needs it.
    struct stat folderStat;
    const bool inodes = ::fstat(fd, &folderStat) == 0 && linux_only::listingGivesInodes(fd);
    listedDevice_ = static_cast<std::uint64_t>(folderStat.st_dev);
    bool ok = true;
    for (;;) {
        errno = 0;
        struct dirent* d = ::readdir(dir);
        if (!d) {
            ok = errno == 0;
            break;
        }
        Listed l;
        l.bytes = d->d_name;
        l.entry.name = listedName(l.bytes);
        l.entry.hidden = l.bytes[0] == '.';
        l.resolved = true;
        switch (d->d_type) {
            case DT_DIR: l.entry.directory = true; break;
            case DT_FIFO:
            case DT_SOCK:
            case DT_CHR:
            case DT_BLK: l.entry.system = true; break;  // never opened
            case DT_REG:
                l.resolved = inodes;
                if (inodes) l.entry.identity = {listedDevice_, static_cast<std::uint64_t>(d->d_ino), true};
                break;
            default: l.resolved = false;  // a link, or a file system that gives no types
        }
        listing_.push_back(std::move(l));
    }
    ::closedir(dir);
    if (!ok) {
        listing_.clear();
        listedFolder_ = nullptr;
        return false;
    }
    std::sort(listing_.begin(), listing_.end(), [](const Listed& a, const Listed& b) { return a.bytes < b.bytes; });
    return true;
}

bool DirSearch::findFirst(const Folder& folder, const WString& pattern, DirEntry& entry) {
    close();
    if ((listedFolder_ != &folder || listedHandle_ != folder.handle()) && !list(folder)) {
        failed_ = true;
        return false;
    }
    for (Listed& l : listing_) {
        if (!wildcardMatch(pattern, l.entry.name)) continue;
        if (!l.resolved) {
            resolveEntry(folder.handle(), l.bytes.c_str(), l.entry);
            l.resolved = true;
        }
        entries_.push_back(l.entry);
    }
    return findNext(entry);
}

}  // namespace platform
}  // namespace tarvo
