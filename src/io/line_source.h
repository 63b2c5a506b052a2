// Where the translation of a page body takes its lines from, without seeing
// the file they come from.
#pragma once

#include <string_view>

namespace tarvo {

class LineSource {
public:
    // Sets line to the next line, without its line end; it stays valid until
    // the next call. False, with line empty, when no line is left.
    virtual bool readLine(std::string_view& line) = 0;

protected:
    ~LineSource() = default;
};

}  // namespace tarvo
