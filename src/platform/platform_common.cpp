// The parts of the operating-system layer that follow from the platform's
// separators alone and are the same code everywhere.
#include "platform/platform.h"

namespace tarvo::platform {

namespace {

bool isSeparator(char16_t c) {
    for (const char16_t* s = kDirSeparators; *s; ++s)
        if (*s == c) return true;
    return false;
}

// A component the system reads as the parent directory. Windows drops
// trailing dots and blanks from a component, so ".. " and "..." go up too.
bool isParentComponent(std::u16string_view part) {
    if (part == u"..") return true;
#ifdef _WIN32
    std::size_t dots = 0;
    for (char16_t c : part) {
        if (c == u'.') ++dots;
        else if (c != u' ') return false;
    }
    return dots >= 2;
#else
    return false;
#endif
}

}  // namespace

bool escapesDirectory(std::u16string_view name) {
    if (!name.empty() && isSeparator(name[0])) return true;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isSeparator(name[i])) continue;
        // A separator that is no slash is a drive or stream colon: the name
        // would leave the directory however it goes on.
        if (i < name.size() && name[i] != u'/' && name[i] != u'\\') return true;
        if (isParentComponent(name.substr(start, i - start))) return true;
        start = i + 1;
    }
    return false;
}

}  // namespace tarvo::platform
