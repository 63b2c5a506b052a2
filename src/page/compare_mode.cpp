// Test mode: the generated page is compared line by line with the page stored
// by an earlier run; the first difference is reported.
#include <string>

#include "page/page_converter.h"
#include "platform/platform.h"

namespace tarvo {

int comparePage(WikiInStream& stored, MemoryText& generated, const WString& sourcePath,
                const WString& pageName) {
    const std::string source = platform::toUtf8Bytes(sourcePath);
    const std::string page = platform::toUtf8Bytes(pageName);
    generated.rewind();
    unsigned count = 0;
    std::string storedLine, generatedLine;
    // A pair is compared only while both pages still have a line.
    bool storedDone = false;
    while (!generated.exhausted()) {
        if (!stored.readLine(storedLine)) {
            storedDone = true;
            break;
        }
        readTextLine(generated, generatedLine);
        ++count;
        if (storedLine != generatedLine) {
            platform::writeOut("******* Error: there is difference at line " + std::to_string(count) + " in " +
                               source + " != " + page + "\n" + " expected: " + storedLine + "\n" +
                               "generated: " + generatedLine + "\n");
            return 1;
        }
    }
    if (storedDone) {
        std::string text = "******* Error: too much data was generated (file " + page + " contains only " +
                           std::to_string(count) + " lines)\n";
        while (!generated.exhausted()) {
            readTextLine(generated, generatedLine);
            text += "generated: " + generatedLine + "\n";
        }
        platform::writeOut(text);
        return 1;
    }
    if (stored.readLine(storedLine)) {
        platform::writeOut("******* Error: less data was generated (file " + page + " contains more than " +
                           std::to_string(count) + " lines)\n");
        return 1;
    }
    platform::writeOut(" - OK\n");
    return 0;
}

}  // namespace tarvo
