// Finds a short needle in a text that is read from front to back, and
// remembers where it was found: searches from growing positions then read
// each byte of the text about once, so a line full of openers without their
// closer costs linear time, not quadratic.
//
// What it knows is kept as distances from the end of the text. They stay
// true when text in front of the searched part is replaced, as the inline
// scan does when it pushes text back in front of its position.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace tarvo {

class Finder {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    explicit Finder(std::string_view needle) : needle_(needle) {}

    // The text is another one: nothing is known any more.
    void forget() { valid_ = false; }

    // The first occurrence at or after from, or npos.
    std::size_t find(std::string_view text, std::size_t from) {
        const std::size_t size = text.size();
        if (from >= size) return npos;
        if (valid_) {
            const std::size_t knownFrom = size - fromEnd_;
            const std::size_t known = none_ ? npos : size - foundEnd_;
            if (from >= knownFrom && (none_ || known >= from)) return known;
            if (from < knownFrom) {
                // Only the part before what is known needs a search.
                const std::size_t found = search(text, from, std::min(size, knownFrom + needle_.size() - 1));
                return remember(size, from, found == npos ? known : found);
            }
        }
        return remember(size, from, search(text, from, size));
    }

    // The text before the point fromEnd bytes before its end was replaced:
    // what was known of that part no longer holds.
    void replacedBefore(std::size_t fromEnd) {
        if (!valid_ || fromEnd_ <= fromEnd) return;
        if (!none_ && foundEnd_ > fromEnd) valid_ = false;
        else fromEnd_ = fromEnd;
    }

private:
    std::size_t remember(std::size_t size, std::size_t from, std::size_t found) {
        valid_ = true;
        fromEnd_ = size - from;
        none_ = found == npos;
        foundEnd_ = none_ ? 0 : size - found;
        return found;
    }

    // The first occurrence starting in [from, to - needle size]: its first
    // byte by memchr, the rest compared in place.
    std::size_t search(std::string_view text, std::size_t from, std::size_t to) const {
        const char* p = text.data() + from;
        const char* end = text.data() + to;
        while (end - p >= static_cast<std::ptrdiff_t>(needle_.size())) {
            const void* hit = std::memchr(p, needle_[0], static_cast<std::size_t>(end - p) - needle_.size() + 1);
            if (!hit) break;
            p = static_cast<const char*>(hit);
            if (std::memcmp(p + 1, needle_.data() + 1, needle_.size() - 1) == 0)
                return static_cast<std::size_t>(p - text.data());
            ++p;
        }
        return npos;
    }

    std::string_view needle_;
    bool valid_ = false;
    bool none_ = false;
    std::size_t fromEnd_ = 0;   // where the last search started
    std::size_t foundEnd_ = 0;  // where it found the needle
};

}  // namespace tarvo
