// The check of links (--check-links): while a page is made, the bytes of its
// body are scanned for the href of every "a" tag and the src of every "img"
// tag, as the page has them; once the run is over, every one of them that
// leads neither to a page of the run nor to an existing file is reported.
// The frame around the body is not scanned; the template's links are read
// once and checked from each folder that got a page. With heading ids
// (--html5, --toc) the ids of each page are kept too, and a link's fragment
// must name one of them.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "io/page_output.h"
#include "text/utf.h"

namespace tarvo {

// The targets one page body links to, in page order, only those to be
// checked (no external link, no link within the page but to a fragment when
// fragments are checked): all of them one after the other in `targets`,
// each ending at its entry of `ends`. When fragments are checked, the ids
// the body gives (the id of any tag, the name of an "a" tag) are kept the
// same way, as written.
struct PageLinks {
    std::string targets;
    std::vector<std::size_t> ends;
    std::string ids;
    std::vector<std::size_t> idEnds;
};

// Reads HTML in pieces of any size, as a browser reads tags: a tag name and
// its attributes, a value quoted with " or ' or unquoted. The first href of
// an "a" tag and the first src of an "img" tag (names in any case) go to
// links, and with fragments each id and each name of an "a" tag. Text
// between tags is skipped with memchr.
class LinkScanner {
public:
    LinkScanner(PageLinks& links, bool fragments) : links_(links), fragments_(fragments) {}
    void feed(std::string_view bytes);
    // The text ends: a value that is being read ends here, and a tag left
    // open is dropped.
    void end();

private:
    enum class State {
        Text, TagOpen, EndTagOpen, TagName, BeforeAttribute, AttributeName, AfterAttributeName, BeforeValue,
        DoubleQuoted, SingleQuoted, Unquoted
    };
    // Up to kWordMax bytes of a tag or attribute name, in lower case, and
    // whether it was longer.
    struct Word {
        static constexpr std::size_t kWordMax = 4;
        char bytes[kWordMax] = {};
        std::size_t size = 0;
        void clear() { size = 0; }
        void add(char c);
        bool is(std::string_view word) const;
    };

    // The byte that starts a tag name or an attribute name, and their ends.
    void startTagName(char c);
    void tagNameDone();
    void startAttributeName(char c);
    void attributeNameDone();
    // Where a value begins and ends; only a wanted one or an id is kept.
    void startValue();
    void endValue();
    std::string* valueInto() { return wanted_ ? &links_.targets : id_ ? &links_.ids : nullptr; }
    // Scans a value quoted with quote from bytes[at]; where the scan goes on.
    std::size_t quotedValue(std::string_view bytes, std::size_t at, char quote);

    PageLinks& links_;
    const bool fragments_;
    State state_ = State::Text;
    enum class Tag { Other, A, Img } tag_ = Tag::Other;
    bool endTag_ = false;
    bool found_ = false;       // the tag's wanted attribute came already
    bool wantedName_ = false;  // the attribute just named is the wanted one
    bool wanted_ = false;      // the value being read is kept
    bool idName_ = false;      // the attribute just named gives an id
    bool id_ = false;          // the value being read is an id
    std::size_t valueStart_ = 0;  // where it begins in links_.targets or links_.ids
    Word word_;
};

// A sink that passes a page's bytes on unchanged and scans those of the body.
class LinkScan final : public ByteSink {
public:
    LinkScan(ByteSink& next, bool fragments) : next_(next), scanner_(links_, fragments) {}
    void take(std::string_view bytes) override {
        if (inBody_) scanner_.feed(bytes);
        next_.take(bytes);
    }
    // The page's output is flushed before each: the bytes taken between the
    // two are the body's.
    void bodyStarts() { inBody_ = true; }
    void bodyEnds() {
        scanner_.end();
        inBody_ = false;
    }
    PageLinks& links() { return links_; }

private:
    ByteSink& next_;
    PageLinks links_;
    LinkScanner scanner_;
    bool inBody_ = false;
};

// A link that leads nowhere: the source of its page (or the template's
// name), the target as the page has it, and for the template the folder of
// the pages it was checked from, when the run put pages in more than one.
struct BrokenLink {
    WString source;
    std::string target;
    WString folder;
};

// The pages of a run and their links, collected as the pages are made (from
// any thread) and checked once the run is over.
class LinkCheck {
public:
    // fragments: ids are kept and fragments checked. templateName: the
    // template whose links are checked too (empty: none); with pageNames
    // its links that hold {{PAGENAME}}, which differ from page to page, are
    // left out.
    LinkCheck(bool fragments, WString templateName, bool pageNames)
        : fragments_(fragments), templateName_(std::move(templateName)), pageNames_(pageNames) {}
    // A page made from source and written (or compared) as page.
    void addPage(const WString& source, const WString& page, PageLinks&& links);
    // Every link of the pages that leads nowhere, sorted by source, then in
    // page order; then those of the template, by folder, then in its order.
    std::vector<BrokenLink> broken();

private:
    struct Page {
        WString source;
        std::string key;     // the page's path, as normalizedPath gives it
        std::string folder;  // the folder its links start from, the same way
        WString shownFolder; // that folder as messages show it
        PageLinks links;
    };
    PageLinks templateLinks() const;

    const bool fragments_;
    const WString templateName_;
    const bool pageNames_;
    std::mutex mutex_;
    std::vector<Page> pages_;
};

// True when a target as the page has it (character references decoded) is
// checked: neither external (a scheme before ":", or "//" for another host)
// nor within the page (empty, or only an anchor "#..."); with fragments, an
// anchor that names something ("#x") is checked.
bool isCheckedTarget(std::string_view target, bool fragments = false);

// A path as bytes with "/" between its components, without empty and "."
// components and with each ".." taken out together with the component before
// it, as a browser resolves a relative link: "a/./b/../c/" gives "a/c". Only
// "/" separates ("\" must have been turned into "/" where it is one). A ".."
// at the start of a relative path stays; one above the root is dropped.
std::string normalizedPath(std::string_view path);

// The path a checked target leads to from a folder (normalizedPath's form),
// read as a browser reads the address: character references ("&amp;")
// decoded, blanks and control bytes at either end and the query and
// fragment (from "?" or "#" on) left out, "\" taken as "/", %XX escapes
// decoded (but for "/" and NUL, which no name holds), and an absolute
// target taken as it is.
std::string resolveTarget(std::string_view folder, std::string_view target);

}  // namespace tarvo
