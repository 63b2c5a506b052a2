#include "io/memory_text.h"

namespace tarvo {

std::string_view readTextLine(MemoryText& text) {
    const std::string_view rest = std::string_view(text.data).substr(std::min(text.readPos, text.data.size()));
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) {
        text.readPos = text.data.size();
        text.eof = true;
        return rest;
    }
    text.readPos += end + 1;
    return rest.substr(0, end);
}

}  // namespace tarvo
