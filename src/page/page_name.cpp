#include "page/page_name.h"

#include "text/ascii.h"

namespace tarvo {

WString trimBlanks(const WString& text) { return WString(trimmed<char16_t>(text)); }

WString makeOutputName(const WString& sourcePath, const std::optional<WString>& outputArg) {
    std::size_t slash = sourcePath.find_last_of(u"/\\");
    std::size_t componentStart;
    if (slash != WString::npos) componentStart = slash + 1;
    else if (std::size_t colon = sourcePath.rfind(u':'); colon != WString::npos) componentStart = colon + 1;
    else componentStart = 0;
    const std::size_t dot = sourcePath.rfind(u'.');
    const bool hasDot = dot != WString::npos && dot >= componentStart;

    WString name;
    if (outputArg) {
        WString out = trimBlanks(*outputArg);
        if (!out.empty()) {
            char16_t last = out.back();
            if (last == u':' || last == u'\\' || last == u'/') {
                name = out + sourcePath.substr(componentStart, hasDot ? dot - componentStart : WString::npos);
            } else {
                name = out;
            }
        }
    }
    if (name.empty()) {
        const std::size_t length = hasDot ? dot : sourcePath.size();
        name.reserve(length + 5);
        name.assign(sourcePath, 0, length);
    }
    name += u".html";
    return name;
}

}  // namespace tarvo
