// The working values of one run of the block parser over a page body, shared
// by the block, list and table steps.
//
// A logical line is a range [b, e) of the current source line; a rest that must
// be classified as a line of its own (`pendingRest`) is a later range of the
// same source line. The source line itself is never rewritten while its
// logical lines are handled, so positions found by a search stay valid, and
// a search from a later position can reuse what an earlier one found.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/run_context.h"
#include "markup/markup.h"
#include "page/page_output.h"

namespace tarvo {

// The first occurrence of a needle at or after a position, remembered so that
// searches from growing positions over one line read each byte about once.
class Finder {
public:
    explicit Finder(std::string_view needle) : needle_(needle) {}
    // line: the number of the source line searched; what was found in an
    // earlier line is forgotten.
    std::size_t find(std::string_view text, std::size_t from, std::uint64_t line) {
        if (line_ == line && from >= from_ && (at_ == std::string_view::npos || at_ >= from)) return at_;
        line_ = line;
        from_ = from;
        at_ = search(text, from);
        return at_;
    }

private:
    // The first byte by memchr, the rest compared in place: the needles are
    // short, and a cell line asks for them once a cell.
    std::size_t search(std::string_view text, std::size_t from) const {
        const char* p = text.data() + std::min(from, text.size());
        const char* end = text.data() + text.size();
        while (end - p >= static_cast<std::ptrdiff_t>(needle_.size())) {
            const void* hit = std::memchr(p, needle_[0], static_cast<std::size_t>(end - p) - needle_.size() + 1);
            if (!hit) break;
            p = static_cast<const char*>(hit);
            std::size_t k = 1;
            while (k < needle_.size() && p[k] == needle_[k]) ++k;
            if (k == needle_.size()) return static_cast<std::size_t>(p - text.data());
            ++p;
        }
        return std::string_view::npos;
    }

    std::string_view needle_;
    std::uint64_t line_ = 0;
    std::size_t from_ = 0;
    std::size_t at_ = 0;
};

struct BodyRun {
    BodyRun(RunContext& c, PageOutput& o) : ctx(c), out(o), st(c.block) {}

    RunContext& ctx;
    PageOutput& out;
    BlockState& st;

    std::string source;  // the current source line
    std::uint64_t lineNumber = 0;
    std::size_t b = 0;   // the logical line: source[b, e)
    std::size_t e = 0;
    bool hasPending = false;  // pendingRest: source[pendingBegin, pendingEnd)
    std::size_t pendingBegin = 0;
    std::size_t pendingEnd = 0;
    std::string rowAttributes;
    bool cellLine = false;
    std::string formatted;  // the inline formatter's translation of a piece of line

    Finder bar{"|"};
    Finder doubleBar{"||"};
    Finder doubleBang{"!!"};
    Finder nowikiOpen{"<nowiki>"};
    Finder nowikiClose{"</nowiki>"};
    Finder linkOpen{"[["};

    std::string_view line() const { return std::string_view(source).substr(b, e - b); }
    // A search in the rest of the source line; npos when not found before e.
    std::size_t find(Finder& f, std::size_t from) {
        std::size_t at = f.find(source, from, lineNumber);
        return at < e ? at : std::string::npos;
    }
    void trimLine() {
        while (e > b && (source[e - 1] == ' ' || source[e - 1] == '\t')) --e;
        while (b < e && (source[b] == ' ' || source[b] == '\t')) ++b;
    }
    void setPending(std::size_t from, std::size_t to) {
        hasPending = from < to;
        pendingBegin = from;
        pendingEnd = to;
    }
    // Runs the inline formatter on source[from, to) and writes the result.
    void writeFormatted(std::size_t from, std::size_t to);
    void write(std::string_view text) { out.write(text); }
    // closeBlock, skipped when nothing is open (it would write nothing).
    void closeOpenBlock() {
        if (st.blockMode != BlockMode::None) closeBlock(ctx, out);
    }
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
