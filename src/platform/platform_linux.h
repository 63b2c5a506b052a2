// The calls of the POSIX side of the platform layer that only Linux has, in
// platform_linux.cpp. Each says when it cannot help, and the POSIX code then
// does the same with plain POSIX calls. Elsewhere, and in a build with
// TARVO_PORTABLE (which tests those plain calls on Linux), the stand-ins
// below always say so.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <string>

namespace tarvo {
namespace platform {
namespace linux_only {

#if defined(__linux__) && !defined(TARVO_PORTABLE)

// Opens the folder at path below dirFd with the kernel refusing every step
// out of it (openat2 with RESOLVE_BENEATH). -1 with errno ENOSYS when the
// kernel cannot, else what the open gave.
int openFolderBeneath(int dirFd, const char* path, int flags);

// The real path of the open folder fd, as /proc records it. False when
// /proc does not say.
bool folderPath(int fd, std::string& out);

// A new regular file without a name in the folder dirFd (O_TMPFILE), open
// for writing; -1 when the system or the file system cannot make one.
int openUnnamedFile(int dirFd);
// Gives the unnamed file open at fd the name in the folder dirFd. False
// with errno set when the name could not be given.
bool nameUnnamedFile(int fd, int dirFd, const char* name);

// True when a listing of the folder fd gives each entry's inode number as
// stat would: then the listing alone tells a file's identity.
bool listingGivesInodes(int fd);

// Tunes the memory allocator for pages made on several threads.
void tuneAllocator();

// Starts program as a child that leads a process group of its own, reads
// /dev/null, writes its standard output and error into out and err, has
// the signals we catch or ignore (but those our caller ignores) back at
// their defaults, none blocked, and is killed by the kernel when the thread
// that started it ends, also when this process is killed. pid is its
// process id, or -1 when it could not be started.
bool startChildThatDiesWithUs(const char* program, char* const* argv, int out, int err, pid_t& pid);

#else

inline int openFolderBeneath(int, const char*, int) {
    errno = ENOSYS;
    return -1;
}
inline bool folderPath(int, std::string&) { return false; }
inline int openUnnamedFile(int) { return -1; }
inline bool nameUnnamedFile(int, int, const char*) { return false; }
inline bool listingGivesInodes(int) { return false; }
inline void tuneAllocator() {}
inline bool startChildThatDiesWithUs(const char*, char* const*, int, int, pid_t&) { return false; }

#endif

}  // namespace linux_only
}  // namespace platform
}  // namespace tarvo
