// A source of text lines, as the translation reads them: the markup layer
// sees lines, never the file or stream behind them.
#pragma once

#include <string_view>

namespace tarvo {

class LineSource {
public:
    // The next line without its line end, valid until the next call. False
    // at the end.
    virtual bool readLine(std::string_view& line) = 0;

protected:
    ~LineSource() = default;
};

}  // namespace tarvo
