// The table of contents of a page (--toc): its headings as nested lists of
// links, in a <div class="toc">, on a page with four or more headings, with
// __FORCETOC__, or with __TOC__, which places it; __NOTOC__ leaves it out
// unless __TOC__ places it. It stands before the first heading, or where
// __TOC__ stood. The body is made in memory, and the table put in its
// place once the last heading is known.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "io/page_output.h"
#include "markup/markup.h"

namespace tarvo {

class Contents final : public PageEvents {
public:
    // The translation's events about diagrams go on to next; body is where
    // the translation writes the page body.
    Contents(PageEvents& next, const PageOutput& body) : next_(next), body_(body) {}

    void diagramClosed(std::string_view name, std::string_view text) override { next_.diagramClosed(name, text); }
    void heading(int level, std::string_view id, std::string_view text) override;
    void contentsWord(ContentsWord word) override;

    // Writes the body to out with the table in its place, if the page has one.
    void write(PageOutput& out, std::string_view body) const;

private:
    struct Entry {
        int level;
        std::string id, text;
    };
    static constexpr std::size_t npos = std::string_view::npos;

    PageEvents& next_;
    const PageOutput& body_;
    std::vector<Entry> entries_;      // the headings with an id, in page order
    std::size_t firstHeading_ = npos;  // where the body's first heading begins
    std::size_t here_ = npos;          // where the first __TOC__ stood
    bool never_ = false;               // __NOTOC__
    bool always_ = false;              // __FORCETOC__
};

}  // namespace tarvo
