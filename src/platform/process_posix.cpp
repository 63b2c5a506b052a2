// POSIX side of running another program: posix_spawn (on Linux a child that
// dies with us) into a process group of its own, so that a time limit or a
// signal to us stops everything the program started (a shell script's
// children too), and poll over its two pipes.
#include "platform/process.h"
#include "platform/platform_linux.h"
#include "platform/signal_table.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace tarvo {
namespace platform {

namespace {

bool isExecutableFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The process groups being waited for, for the signal handler. A slot holds
// a group while its leader is not yet reaped, so the number cannot have been
// given to another process meanwhile.
struct RunningGroup {
    pid_t leader = 0;
};
constinit SignalTable<RunningGroup> runningGroups;

// Closes the descriptor and marks it closed.
void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

void killRunningProcesses() {
    runningGroups.undoAll([](const RunningGroup& group) { ::kill(-group.leader, SIGKILL); });
}

namespace {

// Starts the program with plain POSIX calls: in a group of its own, reading
// /dev/null, writing into the pipes out and err, with the signals we ignore
// or block its own business again. Its process id, or -1.
pid_t spawnProgram(const std::string& program, std::vector<char*>& argv, int out, int err) {
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, out, 1);
    ::posix_spawn_file_actions_adddup2(&actions, err, 2);
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    ::posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t signals;
    ::sigemptyset(&signals);
    ::posix_spawnattr_setsigmask(&attributes, &signals);
    ::sigaddset(&signals, SIGPIPE);
    ::sigaddset(&signals, SIGXFSZ);
    ::posix_spawnattr_setsigdefault(&attributes, &signals);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    return spawned == 0 ? pid : -1;
}

// Starts the program (on Linux as a child that dies with us), and notes the
// group it leads in runningGroups at slot before a signal handler can look,
// so that a signal that ends us ends it too. Its process id, or -1.
pid_t startProgram(const std::string& program, std::vector<char*>& argv, int out, int err,
                   SignalSlot<RunningGroup>* slot) {
    pid_t pid = -1;
    runningGroups.makeNoted(slot, [&] {
        if (!linux_only::startChildThatDiesWithUs(program.c_str(), argv.data(), out, err, pid))
            pid = spawnProgram(program, argv, out, err);
        if (pid < 0) return false;
        // Here too: the group exists before the handler may kill it.
        ::setpgid(pid, pid);
        if (slot) slot->item.leader = pid;
        return true;
    });
    return pid;
}

}  // namespace

NativePath findProgram(const WString& name) {
    const std::string bytes = toUtf8Bytes(name);
    if (bytes.empty()) return {};
    if (bytes.find('/') != std::string::npos) return isExecutableFile(bytes) ? bytes : std::string();
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t start = 0;;) {
        const std::size_t end = folders.find(':', start);
        std::string folder = folders.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // An empty entry is the current folder.
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + bytes;
        if (isExecutableFile(candidate)) return candidate;
        if (end == std::string::npos) return {};
        start = end + 1;
    }
}

ProcessResult runProcess(const NativePath& program, const std::vector<WString>& args, double seconds,
                         std::size_t outLimit) {
    ProcessResult result;
    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    // Close-on-exec: a program started meanwhile by another thread must not
    // hold our pipes open.
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        closeFd(outPipe[0]);
        closeFd(outPipe[1]);
        return result;
    }

    std::vector<std::string> words{program};
    for (const WString& arg : args) words.push_back(toUtf8Bytes(arg));
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    SignalSlot<RunningGroup>* slot = runningGroups.claim();
    const pid_t pid = startProgram(program, argv, outPipe[1], errPipe[1], slot);
    closeFd(outPipe[1]);
    closeFd(errPipe[1]);
    if (pid < 0) {
        runningGroups.release(slot);
        closeFd(outPipe[0]);
        closeFd(errPipe[0]);
        return result;
    }

    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    auto leftMilliseconds = [&] {
        const auto left = std::chrono::duration<double, std::milli>(deadline - Clock::now()).count();
        return left <= 0 ? 0 : static_cast<int>(std::min(std::ceil(left), 1e9));
    };

    // Read both pipes until the program closes them, or until the time is up.
    bool stop = false;
    char buffer[64 * 1024];
    struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const int wait = leftMilliseconds();
        if (wait == 0) {
            result.end = ProcessResult::End::TimedOut;
            stop = true;
            break;
        }
        const int ready = ::poll(fds, 2, wait);
        if (ready < 0 && errno != EINTR) break;
        for (int k = 0; k < 2 && ready > 0; ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0) continue;
            const ssize_t n = ::read(fds[k].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                closeFd(fds[k].fd);
                continue;
            }
            const std::size_t count = static_cast<std::size_t>(n);
            if (k == 1) {
                result.err.append(buffer, std::min(count, kErrorLimit - std::min(kErrorLimit, result.err.size())));
            } else if (result.out.size() + count > outLimit) {
                result.end = ProcessResult::End::TooMuchOutput;
                stop = true;
            } else {
                result.out.append(buffer, count);
            }
        }
        if (stop) break;
    }
    closeFd(fds[0].fd);
    closeFd(fds[1].fd);

    // Its pipes are closed: wait for it to end, still within the time.
    for (int pause = 1; !stop;) {
        siginfo_t info;
        info.si_pid = 0;
        // Looked at without reaping it: the group stays ours to kill.
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
            break;
        if (leftMilliseconds() == 0) {
            result.end = ProcessResult::End::TimedOut;
            stop = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(pause, leftMilliseconds())));
        pause = std::min(pause * 2, 20);
    }
    if (stop) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
    }
    runningGroups.release(slot);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (stop) return result;
    if (WIFEXITED(status)) {
        result.end = ProcessResult::End::Exited;
        result.code = WEXITSTATUS(status);
    } else {
        result.end = ProcessResult::End::Signalled;
        result.code = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    return result;
}

}  // namespace platform
}  // namespace tarvo
