// Windows side of running another program: CreateProcessW with pipes, the
// process in a job object so that the time limit (and the end of our own
// process) stops everything it started, and a thread per pipe.
#include "platform/process.h"

#include "platform/windows_api.h"

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

namespace tarvo {
namespace platform {

namespace {

std::wstring nativeOf(const WString& text) { return std::wstring(text.begin(), text.end()); }

// One word of a command line, quoted so that the program's start-up code
// gives it back unchanged.
void appendQuoted(std::wstring& line, const std::wstring& word) {
    if (!line.empty()) line.push_back(L' ');
    if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += word;
        return;
    }
    line.push_back(L'"');
    std::size_t backslashes = 0;
    for (wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line.push_back(c);
    }
    line.append(backslashes * 2, L'\\');
    line.push_back(L'"');
}

// Pipes are made and handed to a new process one process at a time: a
// process started by another thread meanwhile would inherit our pipe's
// write end and keep it open.
std::mutex startMutex;

void closeHandle(HANDLE& h) {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    h = nullptr;
}

}  // namespace

NativePath findProgram(const WString& name) {
    const std::wstring wide = nativeOf(name);
    if (wide.empty()) return {};
    auto isFile = [](const std::wstring& path) {
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (wide.find_first_of(L"/\\:") != std::wstring::npos) {
        if (isFile(wide)) return wide;
        return isFile(wide + L".exe") ? wide + L".exe" : std::wstring();
    }
    wchar_t found[MAX_PATH * 4];
    const DWORD n = ::SearchPathW(nullptr, wide.c_str(), L".exe", MAX_PATH * 4, found, nullptr);
    if (n == 0 || n >= MAX_PATH * 4 || !isFile(found)) return {};
    return std::wstring(found, n);
}

ProcessResult runProcess(const NativePath& program, const std::vector<WString>& args, double seconds,
                         std::size_t outLimit) {
    ProcessResult result;
    std::wstring commandLine;
    appendQuoted(commandLine, program);
    for (const WString& arg : args) appendQuoted(commandLine, nativeOf(arg));

    HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) return result;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr, input = nullptr;
    PROCESS_INFORMATION process = {};
    bool started = false;
    {
        std::lock_guard<std::mutex> lock(startMutex);
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        if (::CreatePipe(&outRead, &outWrite, &inherit, 0) && ::CreatePipe(&errRead, &errWrite, &inherit, 0)) {
            ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
            ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
            input = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                  0, nullptr);
            STARTUPINFOW startup = {};
            startup.cb = sizeof startup;
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = input;
            startup.hStdOutput = outWrite;
            startup.hStdError = errWrite;
            started = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                       CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process) != 0;
        }
        closeHandle(outWrite);
        closeHandle(errWrite);
        closeHandle(input);
    }
    if (!started) {
        closeHandle(outRead);
        closeHandle(errRead);
        closeHandle(job);
        return result;
    }
    ::AssignProcessToJobObject(job, process.hProcess);
    ::ResumeThread(process.hThread);
    closeHandle(process.hThread);

    std::atomic<bool> tooMuch{false};
    auto drain = [&](HANDLE pipe, std::string& into, std::size_t limit, bool isOut) {
        char buffer[64 * 1024];
        DWORD n = 0;
        while (::ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
            if (isOut && into.size() + n > limit) {
                tooMuch = true;
                ::TerminateJobObject(job, 1);
                break;
            }
            into.append(buffer, std::min<std::size_t>(n, limit - std::min(limit, into.size())));
        }
    };
    std::thread outReader(drain, outRead, std::ref(result.out), outLimit, true);
    std::thread errReader(drain, errRead, std::ref(result.err), kErrorLimit, false);

    const double milliseconds = std::ceil(seconds * 1000);
    const DWORD wait = milliseconds >= 4e9 ? INFINITE - 1 : static_cast<DWORD>(milliseconds);
    const bool timedOut = ::WaitForSingleObject(process.hProcess, wait) == WAIT_TIMEOUT;
    // Whatever it started ends with it, so that the pipes close.
    ::TerminateJobObject(job, 1);
    outReader.join();
    errReader.join();
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    closeHandle(process.hProcess);
    closeHandle(outRead);
    closeHandle(errRead);
    closeHandle(job);
    if (timedOut) {
        result.end = ProcessResult::End::TimedOut;
    } else if (tooMuch) {
        result.end = ProcessResult::End::TooMuchOutput;
    } else {
        result.end = ProcessResult::End::Exited;
        result.code = static_cast<int>(code);
    }
    return result;
}

}  // namespace platform
}  // namespace tarvo
