// Text the program generated into memory (a page in test mode, the DOT text
// of a diagram), read back line by line.
#pragma once

#include <cstddef>
#include <algorithm>
#include <string>
#include <string_view>

namespace tarvo {

struct MemoryText {
    std::string data;
    std::size_t readPos = 0;
    bool eof = false;

    void clear() { data.clear(); rewind(); }
    void rewind() { readPos = 0; eof = false; }
    bool exhausted() const { return readPos >= data.size(); }
};

// The next "\n"-terminated line (the "\n" consumed, not part of it), in place:
// valid until the text changes. At the end of the text the line is empty and
// eof is set; a last line without "\n" comes whole with eof set.
std::string_view readTextLine(MemoryText& text);

}  // namespace tarvo
