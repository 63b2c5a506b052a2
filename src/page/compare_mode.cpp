#include "page/compare_mode.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace tarvo {

namespace {

// Writes the parts of a message one after the other: a long line in it is
// never copied into one message string.
void say(std::initializer_list<std::string_view> parts) {
    for (std::string_view part : parts) platform::writeOut(part);
}

}  // namespace

int comparePage(WikiInStream& stored, MemoryText& generated, const WString& sourcePath,
                const WString& pageName) {
    const std::string source = platform::toUtf8Bytes(sourcePath);
    const std::string page = platform::toUtf8Bytes(pageName);
    generated.rewind();
    unsigned count = 0;
    std::string storedLine;
    // A pair is compared only while both pages still have a line.
    bool storedDone = false;
    while (!generated.exhausted()) {
        if (!stored.readLine(storedLine)) {
            storedDone = true;
            break;
        }
        const std::string_view generatedLine = readTextLine(generated);
        ++count;
        if (storedLine != generatedLine) {
            say({"******* Error: there is difference at line ", std::to_string(count), " in ", source, " != ",
                 page, "\n expected: ", storedLine, "\ngenerated: ", generatedLine, "\n"});
            return 1;
        }
    }
    if (storedDone) {
        say({"******* Error: too much data was generated (file ", page, " contains only ", std::to_string(count),
             " lines)\n"});
        while (!generated.exhausted()) say({"generated: ", readTextLine(generated), "\n"});
        return 1;
    }
    if (stored.readLine(storedLine)) {
        say({"******* Error: less data was generated (file ", page, " contains more than ",
             std::to_string(count), " lines)\n"});
        return 1;
    }
    platform::writeOut(" - OK\n");
    return 0;
}

}  // namespace tarvo
