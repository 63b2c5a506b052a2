// Running another program: one child process at a time per call, its
// standard input empty, its standard output and standard error read back,
// a time limit, and nothing it started left running when it is stopped.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tarvo {
namespace platform {

// The program a name stands for: a name with a folder part is taken as it
// is, any other is looked for in the folders of PATH (on Windows the system's
// search, with ".exe" added). Empty when there is no such program to run.
NativePath findProgram(const WString& name);

struct ProcessResult {
    enum class End {
        Exited,         // code is its exit status
        Signalled,      // code is the signal that ended it
        TimedOut,       // stopped at the time limit
        TooMuchOutput,  // stopped: its standard output passed the limit
        CantStart,
    };
    End end = End::CantStart;
    int code = 0;
    std::string out;  // its standard output
    std::string err;  // the start of its standard error (kErrorLimit bytes)
};

inline constexpr std::size_t kErrorLimit = 64 * 1024;

// Runs program (found by findProgram) with the arguments after its own name
// and waits for it, at most `seconds`: then it and every process it started
// are stopped. A standard output longer than outLimit stops it too. Safe to
// call from several threads at once. On Linux and Windows the program also
// ends when this process is killed outright.
ProcessResult runProcess(const NativePath& program, const std::vector<WString>& args, double seconds,
                         std::size_t outLimit);

#ifndef _WIN32
// Kills every process runProcess is waiting for, with all they started,
// however many there are. For the handler of a signal that ends the
// program, once it has set endingBySignal (signal_table.h):
// async-signal-safe. (On Windows the system ends them with the program.)
void killRunningProcesses();
#endif

}  // namespace platform
}  // namespace tarvo
