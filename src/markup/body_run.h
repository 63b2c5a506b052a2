// The working values of one run of the block parser over a page body, shared
// by the block, list and table steps.
//
// A logical line is a range [b, e) of the current source line; a rest that must
// be classified as a line of its own (`pendingRest`) is a later range of the
// same source line. The source line itself is never rewritten while its
// logical lines are handled, so positions found by a search stay valid, and
// a search from a later position can reuse what an earlier one found.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "io/page_output.h"
#include "markup/inline_scan.h"
#include "markup/markup.h"
#include "markup/safe_html.h"
#include "text/ascii.h"
#include "text/finder.h"

namespace tarvo {

// A list marker: "*", "#", ":" or ";".
inline bool isListMarker(char c) { return c == '*' || c == '#' || c == ':' || c == ';'; }

struct BodyRun final : BlockEvents {
    BodyRun(MarkupContext& c, PageOutput& o, PageEvents& p)
        : ctx(c), out(&o), events(p), st(c.block), text(c.inlines.state) {}

    MarkupContext& ctx;
    // Where the body goes: the page's output, or while a heading's text is
    // translated before its tag (heading ids), that text.
    PageOutput* out;
    PageEvents& events;
    BlockState& st;
    // Read to classify a line; the inline scan changes it, and the block
    // parser only where block_state.h says.
    InlineState& text;

    std::string_view source;  // the current source line, as the source hands it out
    std::size_t b = 0;   // the logical line: source[b, e)
    std::size_t e = 0;
    bool hasPending = false;  // pendingRest: source[pendingBegin, pendingEnd)
    std::size_t pendingBegin = 0;
    std::size_t pendingEnd = 0;
    std::string rowAttributes;
    bool cellLine = false;
    std::string tag;        // a tag with the attributes it keeps (--safe)

    Finder bar{"|"};
    Finder doubleBar{"||"};
    Finder doubleBang{"!!"};
    Finder nowikiOpen{"<nowiki>"};
    Finder nowikiClose{"</nowiki>"};
    Finder linkOpen{"[["};

    std::string_view line() const { return std::string_view(source).substr(b, e - b); }
    // A search in the rest of the source line; npos when not found before e.
    std::size_t find(Finder& f, std::size_t from) {
        std::size_t at = f.find(source, from);
        return at < e ? at : std::string::npos;
    }
    // A new source line: what the finders knew is of the old one.
    void newLine() {
        for (Finder* f : {&bar, &doubleBar, &doubleBang, &nowikiOpen, &nowikiClose, &linkOpen}) f->forget();
    }
    // Moves b past the blanks at the start of the logical line.
    void skipBlanks() {
        while (b < e && isBlank(source[b])) ++b;
    }
    void trimLine() {
        while (e > b && isBlank(source[e - 1])) --e;
        skipBlanks();
    }
    void setPending(std::size_t from, std::size_t to) {
        hasPending = from < to;
        pendingBegin = from;
        pendingEnd = to;
    }
    // Runs the inline formatter on source[from, to) and writes the result.
    void writeFormatted(std::size_t from, std::size_t to);
    void write(std::string_view text) { out->write(text); }
    bool safe() const { return ctx.inlines.options.safe; }
    // tarvo::closeBlock, skipped when nothing is open (it would write
    // nothing): most empty lines and paragraphs find nothing open.
    void closeBlock() {
        if (st.blockMode != BlockMode::None || !text.openTags.empty()) tarvo::closeBlock(st, text.openTags, *out);
    }
    // Closes the tags of the text left open, where a block ends that
    // closeBlock does not close (a heading, a caption, a list item).
    void closeTags() {
        if (!text.openTags.empty()) closeOpenTags(text.openTags, *out);
    }
    bool isPre() const { return st.blockMode == BlockMode::PreTag || st.blockMode == BlockMode::PreIndent; }

    // A tag inside the line opened or closed a preformatted block.
    bool blockOpen() const override { return st.blockMode != BlockMode::None || !text.openTags.empty(); }
    bool preOpened() override;
    void preClosed() override { st.blockMode = BlockMode::None; }
};

// Steps of the line classification, each ending the logical line.
void textStep(BodyRun& run);
void commentContinuation(BodyRun& run);
void listItemStep(BodyRun& run);
void closeListLevels(BlockState& st, PageOutput& out);
void tableStartStep(BodyRun& run);
void headerCellStep(BodyRun& run);
void tableLineStep(BodyRun& run);
void closeTable(BlockState& st, PageOutput& out);

}  // namespace tarvo
