// The Linux side of the POSIX platform layer (see platform_linux.h): the
// kernel's own checks and records where plain POSIX has to work them out.
#include "platform/platform_linux.h"

#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <linux/magic.h>
#include <linux/openat2.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>

extern char** environ;

namespace tarvo {
namespace platform {
namespace linux_only {

int openFolderBeneath(int dirFd, const char* path, int flags) {
#ifdef SYS_openat2
    // The kernel resolves the name and refuses any step out of dirFd.
    struct open_how how = {};
    how.flags = static_cast<unsigned>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const int fd = static_cast<int>(::syscall(SYS_openat2, dirFd, path, &how, sizeof how));
    // A sandbox may forbid the call itself: as if the kernel lacked it.
    if (fd < 0 && errno == EPERM) errno = ENOSYS;
    return fd;
#else
    (void)dirFd, (void)path, (void)flags;
    errno = ENOSYS;
    return -1;
#endif
}

bool folderPath(int fd, std::string& out) {
    char buffer[PATH_MAX + 1];
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(self, buffer, sizeof buffer - 1);
    if (n <= 0 || buffer[0] != '/') return false;
    out.assign(buffer, static_cast<std::size_t>(n));
    return true;
}

namespace {

// An unnamed file gets its name through /proc where the kernel does not
// link it by its descriptor; whether /proc is there is asked once.
bool canNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// Whether the kernel links an open unnamed file by its descriptor alone
// (newer kernels let the process that made it), which spares the look-up of
// its /proc name. Learnt at the first refusal, for the whole process.
std::atomic<bool> linksByDescriptor{true};

}  // namespace

int openUnnamedFile(int dirFd) {
    if (!canNameUnnamedFiles()) return -1;
    return ::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

bool nameUnnamedFile(int fd, int dirFd, const char* name) {
    if (linksByDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", dirFd, name, AT_EMPTY_PATH) == 0) return true;
        if (errno != ENOENT && errno != EPERM) return false;
        linksByDescriptor.store(false, std::memory_order_relaxed);
    }
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, self, dirFd, name, AT_SYMLINK_FOLLOW) == 0;
}

// File systems known to list the inode number stat gives. (An overlay may
// not.)
bool listingGivesInodes(int fd) {
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case EXT4_SUPER_MAGIC:
        case TMPFS_MAGIC:
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC: return true;
        default: return false;
    }
}

void tuneAllocator() {
#ifdef __GLIBC__
    // Memory freed after a page is kept for the next one instead of being
    // given back to the system and asked for again at every page: with pages
    // made on several threads, each give-back stops the other processors to
    // drop their view of it. Blocks of several megabytes (a very long line)
    // still get memory of their own, which goes back when they are freed.
    ::mallopt(M_MMAP_THRESHOLD, 4 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
    ::mallopt(M_TOP_PAD, 4 << 20);
#endif
}

namespace {

// What the new process needs, in the memory it shares with us until it runs
// its program; it leaves the error of a failed start in error.
struct Child {
    const char* program;
    char* const* argv;
    int out, err;
    pid_t parent;
    volatile int error;
};

// The new process, between vfork and exec: system calls only.
[[noreturn]] void becomeProgram(Child& child) {
    ::setpgid(0, 0);
    // Killed when the thread that started it ends (the one that waits for
    // it), or at once when that happened before.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && ::getppid() != child.parent) ::_exit(127);
    // Ends of the pipes that are 0, 1 or 2 (with a standard stream closed)
    // move out of the way first.
    int out = child.out <= 2 ? ::fcntl(child.out, F_DUPFD_CLOEXEC, 3) : child.out;
    int err = child.err <= 2 ? ::fcntl(child.err, F_DUPFD_CLOEXEC, 3) : child.err;
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0 && out >= 0 && err >= 0 && ::dup2(null, 0) == 0 && ::dup2(out, 1) == 1 && ::dup2(err, 2) == 2) {
        struct sigaction byDefault = {};
        byDefault.sa_handler = SIG_DFL;
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) {
            struct sigaction now;
            // A signal our caller ignores (nohup) stays ignored, but for
            // those we ignore ourselves; our handlers must not run here.
            if (::sigaction(s, nullptr, &now) == 0 && (now.sa_handler != SIG_IGN || s == SIGPIPE || s == SIGXFSZ))
                ::sigaction(s, &byDefault, nullptr);
        }
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(child.program, child.argv, environ);
    }
    child.error = errno ? errno : EINVAL;
    ::_exit(127);
}

}  // namespace

bool startChildThatDiesWithUs(const char* program, char* const* argv, int out, int err, pid_t& pid) {
    // vfork: this thread waits until the child runs its program (or fails
    // to), and nothing of this process is copied, however large it is.
    Child child{program, argv, out, err, ::getpid(), 0};
    pid = ::vfork();
    if (pid == 0) becomeProgram(child);
    if (pid > 0 && child.error != 0) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
    }
    return true;
}

}  // namespace linux_only
}  // namespace platform
}  // namespace tarvo
