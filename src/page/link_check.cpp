#include "page/link_check.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/platform.h"
#include "text/ascii.h"
#include "text/html_entities.h"

namespace tarvo {

namespace {

// The blanks of HTML between a tag's parts.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool isSlash(char c) { return c == '/' || c == '\\'; }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A URL without the blanks and control bytes a browser strips from its ends.
std::string_view stripped(std::string_view t) {
    while (!t.empty() && static_cast<unsigned char>(t.front()) <= 0x20) t.remove_prefix(1);
    while (!t.empty() && static_cast<unsigned char>(t.back()) <= 0x20) t.remove_suffix(1);
    return t;
}

}  // namespace

// ---- the scan ----

void LinkScanner::Word::add(char c) {
    if (size < kWordMax) bytes[size] = lower(c);
    if (size <= kWordMax) ++size;  // one past kWordMax: longer than any word looked for
}

bool LinkScanner::Word::is(std::string_view word) const {
    return size <= kWordMax && std::string_view(bytes, size) == word;
}

void LinkScanner::startTagName(char c) {
    word_.clear();
    word_.add(c);
    state_ = State::TagName;
}

void LinkScanner::tagNameDone() {
    tag_ = endTag_ ? Tag::Other : word_.is("a") ? Tag::A : word_.is("img") ? Tag::Img : Tag::Other;
    found_ = false;
}

void LinkScanner::startAttributeName(char c) {
    word_.clear();
    word_.add(c);
    state_ = State::AttributeName;
}

// Only the first attribute of the wanted name counts, with a value or not.
void LinkScanner::attributeNameDone() {
    const bool named = (tag_ == Tag::A && word_.is("href")) || (tag_ == Tag::Img && word_.is("src"));
    wantedName_ = named && !found_;
    if (named) found_ = true;
}

void LinkScanner::startValue() {
    wanted_ = wantedName_;
    wantedName_ = false;
    valueStart_ = links_.targets.size();
}

void LinkScanner::endValue() {
    if (!wanted_) return;
    wanted_ = false;
    if (isCheckedTarget(std::string_view(links_.targets).substr(valueStart_)))
        links_.ends.push_back(links_.targets.size());
    else
        links_.targets.resize(valueStart_);
}

std::size_t LinkScanner::quotedValue(std::string_view bytes, std::size_t at, char quote) {
    const void* found = std::memchr(bytes.data() + at, quote, bytes.size() - at);
    const std::size_t end = found ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data())
                                  : bytes.size();
    if (wanted_) links_.targets.append(bytes.substr(at, end - at));
    if (!found) return end;
    endValue();
    state_ = State::BeforeAttribute;
    return end + 1;
}

void LinkScanner::feed(std::string_view bytes) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const char c = bytes[i];
        switch (state_) {
            case State::Text: {
                const void* open = std::memchr(bytes.data() + i, '<', n - i);
                if (!open) return;
                i = static_cast<std::size_t>(static_cast<const char*>(open) - bytes.data()) + 1;
                state_ = State::TagOpen;
                continue;
            }
            case State::DoubleQuoted: i = quotedValue(bytes, i, '"'); continue;
            case State::SingleQuoted: i = quotedValue(bytes, i, '\''); continue;
            case State::Unquoted: {
                std::size_t end = i;
                while (end < n && !isSpace(bytes[end]) && bytes[end] != '>') ++end;
                if (wanted_) links_.targets.append(bytes.substr(i, end - i));
                i = end;
                if (i == n) return;
                endValue();
                state_ = bytes[i] == '>' ? State::Text : State::BeforeAttribute;
                break;
            }
            case State::TagOpen:
                // "<" then a letter begins a tag; anything else is text, and
                // is looked at again as text (it may be the next "<").
                endTag_ = false;
                if (isLetter(c)) startTagName(c);
                else if (c == '/') state_ = State::EndTagOpen;
                else {
                    state_ = State::Text;
                    continue;
                }
                break;
            case State::EndTagOpen:
                endTag_ = true;
                if (!isLetter(c)) {
                    state_ = State::Text;
                    continue;
                }
                startTagName(c);
                break;
            case State::TagName:
                if (isSpace(c) || c == '/' || c == '>') {
                    tagNameDone();
                    state_ = c == '>' ? State::Text : State::BeforeAttribute;
                } else {
                    word_.add(c);
                }
                break;
            case State::BeforeAttribute:
                if (c == '>') state_ = State::Text;
                else if (!isSpace(c) && c != '/') startAttributeName(c);
                break;
            case State::AttributeName:
                if (isSpace(c) || c == '/' || c == '>' || c == '=') {
                    attributeNameDone();
                    state_ = isSpace(c)  ? State::AfterAttributeName
                             : c == '/' ? State::BeforeAttribute
                             : c == '>' ? State::Text
                                        : State::BeforeValue;
                } else {
                    word_.add(c);
                }
                break;
            case State::AfterAttributeName:
                if (c == '=') state_ = State::BeforeValue;
                else if (c == '>') state_ = State::Text;
                else if (c == '/') state_ = State::BeforeAttribute;
                else if (!isSpace(c)) startAttributeName(c);
                break;
            case State::BeforeValue:
                if (isSpace(c)) break;
                startValue();
                if (c == '"') state_ = State::DoubleQuoted;
                else if (c == '\'') state_ = State::SingleQuoted;
                else if (c == '>') {
                    endValue();
                    state_ = State::Text;
                } else {
                    state_ = State::Unquoted;
                    continue;
                }
                break;
        }
        ++i;
    }
}

void LinkScanner::end() {
    if (state_ == State::DoubleQuoted || state_ == State::SingleQuoted || state_ == State::Unquoted) endValue();
    wanted_ = wantedName_ = false;
    state_ = State::Text;
}

// ---- targets and paths ----

bool isCheckedTarget(std::string_view written) {
    const std::string decoded = decodeCharacterReferences(written);
    const std::string_view target = stripped(decoded);
    if (target.empty() || target[0] == '#') return false;
    if (target.size() >= 2 && isSlash(target[0]) && isSlash(target[1])) return false;
    if (!isLetter(target[0])) return true;
    for (char c : target.substr(1)) {
        if (c == ':') return false;
        if (!isLetter(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return true;
    }
    return true;
}

std::string normalizedPath(std::string_view path) {
    // The root: "/", and on Windows also "//" (a server), "X:" and "X:/".
    std::size_t rootSize = 0;
#ifdef _WIN32
    if (path.size() >= 2 && path[0] == '/' && path[1] == '/') rootSize = 2;
    else if (path.size() >= 2 && isLetter(path[0]) && path[1] == ':') rootSize = path.size() > 2 && path[2] == '/' ? 3 : 2;
    else if (!path.empty() && path[0] == '/') rootSize = 1;
#else
    if (!path.empty() && path[0] == '/') rootSize = 1;
#endif
    std::string out(path.substr(0, rootSize));
    std::vector<std::size_t> starts;  // where each component kept begins in out
    std::size_t from = rootSize;
    while (from <= path.size()) {
        std::size_t to = path.find('/', from);
        if (to == std::string_view::npos) to = path.size();
        const std::string_view part = path.substr(from, to - from);
        from = to + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!starts.empty() && std::string_view(out).substr(starts.back()) != "..") {
                out.resize(starts.back() > rootSize ? starts.back() - 1 : rootSize);
                starts.pop_back();
                continue;
            }
            if (rootSize > 0) continue;
        }
        if (out.size() > rootSize) out += '/';
        starts.push_back(out.size());
        out += part;
    }
    return out;
}

std::string resolveTarget(std::string_view folder, std::string_view written) {
    const std::string decoded = decodeCharacterReferences(written);
    std::string_view target = stripped(decoded);
    target = target.substr(0, target.find_first_of("?#"));
    std::string path;
    if (target.empty() || !isSlash(target[0])) {
        path = folder;
#ifdef _WIN32
        const bool drive = !path.empty() && path.back() == ':';  // "X:" goes on without "/"
#else
        const bool drive = false;
#endif
        if (!path.empty() && path.back() != '/' && !drive) path += '/';
    }
    for (std::size_t i = 0; i < target.size(); ++i) {
        const char c = target[i];
        if (c == '\\') {
            path += '/';
        } else if (c == '%' && i + 2 < target.size() && hexValue(target[i + 1]) >= 0 &&
                   hexValue(target[i + 2]) >= 0) {
            const char byte = static_cast<char>(hexValue(target[i + 1]) * 16 + hexValue(target[i + 2]));
            if (byte == '/' || byte == '\0') path.append(target.substr(i, 3));
            else path += byte;
            i += 2;
        } else {
            path += c;
        }
    }
    return normalizedPath(path);
}

namespace {

// A path of the run as normalizedPath gives it: the wide string's
// separators as "/" (a "\" the walk read as part of a name is no separator:
// it is a unit of its own, see platform.h), then its bytes.
std::string pathKey(const WString& path) {
    WString slashed = path;
    std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
    return normalizedPath(platform::toUtf8Bytes(slashed));
}

// True when a path in normalizedPath's form leads to something.
bool exists(const std::string& key) {
    WString name = wideOf(key, true);
#ifndef _WIN32
    // Here "\" is a byte of a name, which the platform layer knows as the
    // unit 0xDC00 + "\".
    std::replace(name.begin(), name.end(), u'\\', static_cast<char16_t>(0xDC00 + '\\'));
#endif
    return platform::identify(platform::currentFolder(), name).exists;
}

}  // namespace

// ---- the run's pages ----

void LinkCheck::addPage(const WString& source, const WString& page, PageLinks&& links) {
    Page entry{source, pathKey(page), pathKey(platform::folderPart(page)), std::move(links)};
    const std::lock_guard<std::mutex> lock(mutex_);
    pages_.push_back(std::move(entry));
}

std::vector<BrokenLink> LinkCheck::broken() {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::unordered_set<std::string_view> pageKeys;
    std::vector<std::pair<std::string, std::size_t>> order;  // the source as printed, the page
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        pageKeys.insert(pages_[i].key);
        order.emplace_back(platform::toUtf8Bytes(pages_[i].source), i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::unordered_map<std::string, bool> found;  // what was looked up on disk
    std::vector<BrokenLink> broken;
    for (const auto& [sourceBytes, index] : order) {
        const Page& page = pages_[index];
        std::size_t start = 0;
        for (const std::size_t end : page.links.ends) {
            const std::string_view target = std::string_view(page.links.targets).substr(start, end - start);
            start = end;
            std::string key = resolveTarget(page.folder, target);
            if (pageKeys.count(key) != 0) continue;
            auto [it, fresh] = found.try_emplace(std::move(key), false);
            if (fresh) it->second = exists(it->first);
            if (it->second) continue;
            broken.push_back({page.source, std::string(target)});
        }
    }
    return broken;
}

}  // namespace tarvo
