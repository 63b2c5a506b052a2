// The process entry point on Windows: the system hands over the arguments as
// wide strings, which are taken over unit for unit.
#include <windows.h>
// The class of that name is ours; the system function is ReplaceFileW.
#undef ReplaceFile

#include <cwchar>

#include "platform/platform.h"

int wmain(int argc, wchar_t** argv) {
    // A missing disk or a drive that is not ready makes a call fail instead
    // of asking the user in a dialog.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    std::vector<tarvo::WString> args;
    args.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) args.emplace_back(argv[i], argv[i] + std::wcslen(argv[i]));
    tarvo::platform::prepareProcess();
    return tarvo::programMain(args);
}
