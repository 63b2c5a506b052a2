#include "page/link_check.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "io/wiki_in_stream.h"
#include "page/page_converter.h"
#include "platform/platform.h"
#include "text/ascii.h"
#include "text/ascii.h"
#include "text/html_entities.h"

namespace tarvo {

namespace {

bool isSlash(char c) { return c == '/' || c == '\\'; }


// A URL without the blanks and control bytes a browser strips from its ends.
std::string_view stripped(std::string_view t) {
    while (!t.empty() && static_cast<unsigned char>(t.front()) <= 0x20) t.remove_prefix(1);
    while (!t.empty() && static_cast<unsigned char>(t.back()) <= 0x20) t.remove_suffix(1);
    return t;
}

// A target as a browser reads the address: character references decoded,
// then the blanks and control bytes at its ends left out.
std::string addressOf(std::string_view target) { return std::string(stripped(decodeCharacterReferences(target))); }

// What follows the first "#" of an address, or nothing.
std::string_view fragmentIn(std::string_view address) {
    const std::size_t hash = address.find('#');
    return hash == std::string_view::npos ? std::string_view() : address.substr(hash + 1);
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
// Every id counts, and every name of an "a" tag.
void LinkScanner::attributeNameDone() {
    const bool named = (tag_ == Tag::A && word_.is("href")) || (tag_ == Tag::Img && word_.is("src"));
    wantedName_ = named && !found_;
    if (named) found_ = true;
    idName_ = fragments_ && !endTag_ && (word_.is("id") || (tag_ == Tag::A && word_.is("name")));
}

void LinkScanner::startValue() {
    wanted_ = wantedName_;
    id_ = idName_;
    wantedName_ = idName_ = false;
    if (std::string* into = valueInto()) valueStart_ = into->size();
}

void LinkScanner::endValue() {
    if (id_) {
        id_ = false;
        links_.idEnds.push_back(links_.ids.size());
    }
    if (!wanted_) return;
    wanted_ = false;
    if (isCheckedTarget(std::string_view(links_.targets).substr(valueStart_), fragments_))
        links_.ends.push_back(links_.targets.size());
    else
        links_.targets.resize(valueStart_);
}

std::size_t LinkScanner::quotedValue(std::string_view bytes, std::size_t at, char quote) {
    const void* found = std::memchr(bytes.data() + at, quote, bytes.size() - at);
    const std::size_t end = found ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data())
                                  : bytes.size();
    if (std::string* into = valueInto()) into->append(bytes.substr(at, end - at));
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
                while (end < n && !isHtmlSpace(bytes[end]) && bytes[end] != '>') ++end;
                if (std::string* into = valueInto()) into->append(bytes.substr(i, end - i));
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
                if (isHtmlSpace(c) || c == '/' || c == '>') {
                    tagNameDone();
                    state_ = c == '>' ? State::Text : State::BeforeAttribute;
                } else {
                    word_.add(c);
                }
                break;
            case State::BeforeAttribute:
                if (c == '>') state_ = State::Text;
                else if (!isHtmlSpace(c) && c != '/') startAttributeName(c);
                break;
            case State::AttributeName:
                if (isHtmlSpace(c) || c == '/' || c == '>' || c == '=') {
                    attributeNameDone();
                    state_ = isHtmlSpace(c)  ? State::AfterAttributeName
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
                else if (!isHtmlSpace(c)) startAttributeName(c);
                break;
            case State::BeforeValue:
                if (isHtmlSpace(c)) break;
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
    wanted_ = wantedName_ = id_ = idName_ = false;
    state_ = State::Text;
}

// ---- targets and paths ----

bool isCheckedTarget(std::string_view written, bool fragments) {
    const std::string address = addressOf(written);
    const std::string_view target = address;
    if (target.empty()) return false;
    if (target[0] == '#') return fragments && target.size() > 1;
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

namespace {

// resolveTarget of a target already read as an address.
std::string resolveAddress(std::string_view folder, std::string_view address) {
    const std::string_view target = address.substr(0, address.find_first_of("?#"));
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

}  // namespace

std::string resolveTarget(std::string_view folder, std::string_view written) {
    return resolveAddress(folder, addressOf(written));
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

namespace {

// The pieces of `all` that end at `ends`, one after the other.
template <typename Use>
void eachPiece(const std::string& all, const std::vector<std::size_t>& ends, Use&& use) {
    std::size_t start = 0;
    for (const std::size_t end : ends) {
        use(std::string_view(all).substr(start, end - start));
        start = end;
    }
}

// The text with its %XX escapes decoded, as a browser reads a fragment
// that names no id as it is.
std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The ids a page gives, as a browser reads them.
using Ids = std::unordered_set<std::string>;
void addIds(Ids& ids, const PageLinks& links) {
    eachPiece(links.ids, links.idEnds, [&](std::string_view id) { ids.insert(decodeCharacterReferences(id)); });
}

// A fragment lands when it names an id as it is or, its escapes decoded.
bool lands(const Ids& ids, std::string_view fragment) {
    return fragment.empty() || ids.count(std::string(fragment)) != 0 || ids.count(percentDecoded(fragment)) != 0;
}

}  // namespace

void LinkCheck::addPage(const WString& source, const WString& page, PageLinks&& links) {
    const WString folder = platform::folderPart(page);
    Page entry{source, pathKey(page), pathKey(folder), folder.empty() ? WString(u"./") : folder, std::move(links)};
    const std::lock_guard<std::mutex> lock(mutex_);
    pages_.push_back(std::move(entry));
}

// The template's lines but the body's, scanned as a page body is.
PageLinks LinkCheck::templateLinks() const {
    PageLinks links;
    if (templateName_.empty()) return links;
    LinkScanner scanner(links, fragments_);
    WikiInStream in;
    in.open(templateName_);
    std::string line;
    if (!in.good()) return links;
    while (!in.atEnd() && in.readLine(line)) {
        if (isBodyMarker(line)) continue;
        line += '\n';
        scanner.feed(line);
    }
    scanner.end();
    if (!pageNames_) return links;
    // A link that holds the page's name differs from page to page.
    PageLinks kept;
    kept.ids = std::move(links.ids);
    kept.idEnds = std::move(links.idEnds);
    eachPiece(links.targets, links.ends, [&](std::string_view target) {
        if (target.find("{{PAGENAME}}") != std::string_view::npos) return;
        kept.targets += target;
        kept.ends.push_back(kept.targets.size());
    });
    return kept;
}

std::vector<BrokenLink> LinkCheck::broken() {
    const std::lock_guard<std::mutex> lock(mutex_);
    const PageLinks frame = templateLinks();
    Ids frameIds;
    addIds(frameIds, frame);
    std::unordered_map<std::string_view, std::size_t> pageKeys;  // the page at each path
    std::vector<std::pair<std::string, std::size_t>> order;  // the source as printed, the page
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        pageKeys.emplace(pages_[i].key, i);
        order.emplace_back(platform::toUtf8Bytes(pages_[i].source), i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // The ids of each page, the template's among them, made when first asked.
    std::unordered_map<std::size_t, Ids> pageIds;
    auto idsOf = [&](std::size_t page) -> const Ids& {
        auto [it, fresh] = pageIds.try_emplace(page, frameIds);
        if (fresh) addIds(it->second, pages_[page].links);
        return it->second;
    };
    std::unordered_map<std::string, bool> found;  // what was looked up on disk
    // A target from a folder leads somewhere: to a page of the run (and to
    // one of its ids, when it has a fragment), or to an existing file. A
    // fragment alone names an id of the page `own`, or of the template when
    // own is npos.
    constexpr std::size_t npos = std::string::npos;
    auto leads = [&](const std::string& folder, std::string_view target, std::size_t own) {
        const std::string address = addressOf(target);
        if (fragments_ && address.starts_with('#'))
            return lands(own == npos ? frameIds : idsOf(own), fragmentIn(address));
        std::string key = resolveAddress(folder, address);
        if (auto page = pageKeys.find(key); page != pageKeys.end())
            return !fragments_ || lands(idsOf(page->second), fragmentIn(address));
        auto [it, fresh] = found.try_emplace(std::move(key), false);
        if (fresh) it->second = exists(it->first);
        return it->second;
    };
    std::vector<BrokenLink> broken;
    for (const auto& sourceAndPage : order) {
        const std::size_t index = sourceAndPage.second;  // a name of its own: lambdas take no structured binding
        const Page& page = pages_[index];
        eachPiece(page.links.targets, page.links.ends, [&](std::string_view target) {
            if (!leads(page.folder, target, index))
                broken.push_back({page.source, std::string(target), {}});
        });
    }
    // The template from each folder that got a page, named when there are several.
    std::map<std::string, const Page*> folders;  // by the folder as messages show it
    for (const Page& page : pages_) folders.emplace(platform::toUtf8Bytes(page.shownFolder), &page);
    for (const auto& shownAndPage : folders) {
        const Page* page = shownAndPage.second;
        eachPiece(frame.targets, frame.ends, [&](std::string_view target) {
            if (!leads(page->folder, target, npos))
                broken.push_back({templateName_, std::string(target), folders.size() > 1 ? page->shownFolder : WString()});
        });
    }
    return broken;
}

}  // namespace tarvo
