#include "page/page_name.h"

#include "text/ascii.h"

namespace tarvo {

WString trimBlanks(const WString& text) { return WString(trimmed<char16_t>(text)); }

namespace {

// Where the last component of a path begins: after its last "/" or "\\",
// or else after a drive's ":".
std::size_t componentStartOf(const WString& path) {
    if (std::size_t slash = path.find_last_of(u"/\\"); slash != WString::npos) return slash + 1;
    if (std::size_t colon = path.rfind(u':'); colon != WString::npos) return colon + 1;
    return 0;
}

// The file name of path without its extension.
WString stemOf(const WString& path) {
    const std::size_t start = componentStartOf(path);
    const std::size_t dot = path.rfind(u'.');
    return path.substr(start, dot != WString::npos && dot >= start ? dot - start : WString::npos);
}

}  // namespace

WString pageTitle(const WString& sourcePath) {
    WString title = stemOf(sourcePath);
    for (char16_t& c : title)
        if (c == u'_') c = u' ';
    return title;
}

WString makeOutputName(const WString& sourcePath, const std::optional<WString>& outputArg) {
    const std::size_t componentStart = componentStartOf(sourcePath);
    const std::size_t dot = sourcePath.rfind(u'.');
    const bool hasDot = dot != WString::npos && dot >= componentStart;

    WString name;
    if (outputArg) {
        WString out = trimBlanks(*outputArg);
        if (!out.empty()) {
            char16_t last = out.back();
            if (last == u':' || last == u'\\' || last == u'/') {
                name = out + stemOf(sourcePath);
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
