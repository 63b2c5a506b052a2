#include "io/memory_text.h"

#include <cstring>

namespace tarvo {

void readTextLine(MemoryText& text, std::string& line) {
    line.clear();
    if (text.readPos >= text.data.size()) {
        text.eof = true;
        return;
    }
    const char* begin = text.data.data() + text.readPos;
    const std::size_t left = text.data.size() - text.readPos;
    const void* nl = std::memchr(begin, '\n', left);
    if (nl) {
        std::size_t len = static_cast<const char*>(nl) - begin;
        line.assign(begin, len);
        text.readPos += len + 1;
    } else {
        line.assign(begin, left);
        text.readPos = text.data.size();
        text.eof = true;
    }
}

}  // namespace tarvo
