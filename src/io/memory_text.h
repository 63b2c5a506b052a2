// Text the program generated into memory (a page in test mode, the DOT text
// of a diagram), read back line by line.
#pragma once

#include <cstddef>
#include <string>

namespace tarvo {

struct MemoryText {
    std::string data;
    std::size_t readPos = 0;
    bool eof = false;

    void clear() { data.clear(); rewind(); }
    void rewind() { readPos = 0; eof = false; }
    bool exhausted() const { return readPos >= data.size(); }
};

// Reads one "\n"-terminated line (the "\n" consumed, not stored). At the end
// of the text the line is empty and eof is set; a last line without "\n" is
// returned whole with eof set.
void readTextLine(MemoryText& text, std::string& line);

}  // namespace tarvo
