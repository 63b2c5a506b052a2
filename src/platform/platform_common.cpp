// The parts of the operating-system layer that are the same code everywhere,
// built on the platform's own calls.
#include <algorithm>
#include <cstring>
#include <random>

#include "platform/platform.h"

namespace tarvo {

namespace platform {

std::string toUtf8Bytes(const WString& text) {
#ifdef _WIN32
    // Wide names are the system's own; a lone surrogate shows as U+FFFD.
    return utf8Of(text, {});
#else
    return utf8Of(text, {.keepBytes = true});
#endif
}

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

long ReadFile::read(char* into, std::size_t count) {
    if (fd_ < 0) return -1;
    if (exhausted_ || count == 0) return 0;
    count = std::min<std::size_t>(count, std::size_t(1) << 30);  // what one call of every system takes
    const long got = readNext(into, count);
    if (got <= 0 || (onDisk_ && static_cast<std::size_t>(got) < count)) exhausted_ = true;
    return got;
}

void ReadFile::close() {
    closeNative();
    fd_ = -1;
    borrowed_ = onDisk_ = exhausted_ = false;
    identity_ = FileIdentity();
}

long ReadFile::readAt(std::uint64_t offset, char* into, std::size_t count) {
    if (fd_ < 0) return -1;
    std::size_t done = 0;
    while (done < count) {
        const long got = readDirect(offset + done, into + done, count - done);
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long>(done);
}

bool ReadFile::equalAt(std::uint64_t offset, std::string_view bytes) {
    if (fd_ < 0) return false;
    char window[64 * 1024];
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t want = std::min(bytes.size() - done, sizeof window);
        const long got = readAt(offset + done, window, want);
        if (got != static_cast<long>(want) || std::memcmp(window, bytes.data() + done, want) != 0) return false;
        done += want;
    }
    return true;
}

const Folder& currentFolder() {
    static const Folder current;
    return current;
}

std::string temporaryName() {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    // One generator per thread, seeded once: collisions are rare and
    // harmless (the temporary is made exclusively, and tried again).
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uint64_t r = generator();
    std::string name = ".tarvo-";
    for (int k = 0; k < 6; ++k, r /= 36) name.push_back(kDigits[r % 36]);
    return name + ".tmp";
}

bool wildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*.*") return true;
    // Iterative matcher with one back-track point: linear in practice and
    // never recursive.
    std::size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        // "*" first: a name may hold a literal "*", which must not use it up.
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

WString folderPart(const WString& path) {
    const std::size_t cut = path.find_last_of(kDirSeparators);
    return cut == WString::npos ? WString() : path.substr(0, cut + 1);
}

// Each folder on the way is made in the one above it, which was opened
// beneath at; then it is opened beneath at itself, so a link among the
// folders may lead anywhere inside at, never out of it.
bool makeFoldersBeneath(const Folder& at, const WString& path, Folder& folder) {
    Folder current;
    if (!current.open(at, WString())) return false;
    for (std::size_t start = 0; start < path.size();) {
        std::size_t end = path.find_first_of(u"/\\", start);
        if (end == WString::npos) end = path.size();
        const WString part = path.substr(start, end - start);
        if (!part.empty() && part != u".") {
            Folder next;
            if (!makeFolder(current, part) || !next.openBeneath(at, path.substr(0, end))) return false;
            current = std::move(next);
        }
        start = end + 1;
    }
    folder = std::move(current);
    return true;
}

bool DirSearch::findFirst(const WString& pathPattern, DirEntry& entry) {
    close();
    const WString folderPath = folderPart(pathPattern);
    Folder folder;
    if (!folderPath.empty() && !folder.open(currentFolder(), folderPath)) {
        failed_ = true;
        return false;
    }
    return findFirst(folder, pathPattern.substr(folderPath.size()), entry);
}

// The listing is taken whole by findFirst; the rest hands it out.
bool DirSearch::findNext(DirEntry& entry) {
    if (next_ >= entries_.size()) return false;
    entry = entries_[next_++];
    return true;
}

void DirSearch::close() {
    entries_.clear();
    next_ = 0;
    failed_ = false;
}

}  // namespace platform
}  // namespace tarvo
