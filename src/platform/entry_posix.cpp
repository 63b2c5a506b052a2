// The process entry point on POSIX systems: arguments arrive as bytes and are
// decoded into wide strings.
#include "platform/platform.h"

int main(int argc, char** argv) {
    tarvo::platform::prepareProcess();
    return tarvo::programMain(tarvo::platform::wideArguments(argc, argv));
}
