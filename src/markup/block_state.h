// What stays open between the lines of a page: emphasis, comments and raw
// text for the inline scan; the open block, lists and tables for the block
// parser.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "markup/allowed_html.h"

namespace tarvo {

enum class RawMode : std::uint8_t { Normal, Nowiki, PreBlock };

enum class BlockMode : std::uint8_t { None, Paragraph, List, PreTag, PreIndent };

// What is open in one table.
struct TableState {
    bool rowOpen = false;
    bool dataCellOpen = false;
    bool headerCellOpen = false;
};

// The tags of the page's text left open (with --safe), innermost last: each
// as its place in kAllowedTags and its name as written, and how many of
// each kind are open.
struct OpenTags {
    std::vector<std::uint8_t> tags;
    std::string names;
    std::array<std::uint32_t, kAllowedTagCount> count{};
    bool empty() const { return tags.empty(); }
};

// What the inline scan keeps from one line to the next: emphasis, an open
// comment, raw text, the tags left open. The block parser reads it to
// classify a line, and writes it only where the start of a line decides what
// the scan would otherwise decide inside it: a line that opens with "<pre" or "<source"
// starts raw preformatted text, one that opens with "<!--" starts (or, with
// its "-->", ends) a comment, and the "-->" that ends a comment over several
// lines ends it (block_parser.cpp); and it closes the open tags where a block
// begins or ends. It also clears it at the start of a page.
struct InlineState {
    bool italicOpen = false;
    bool boldOpen = false;
    bool inComment = false;
    RawMode rawMode = RawMode::Normal;
    OpenTags openTags;
};

// What the block parser keeps from one line to the next: the open block, the
// open lists and tables. The inline scan never sees it; a tag inside a line
// that opens or closes a preformatted block reaches it as an event
// (BlockEvents, inline_scan.h).
struct BlockState {
    BlockMode blockMode = BlockMode::None;
    std::string listPrefix;             // one of "*#:;" per open list level, outermost first
    std::vector<TableState> tableStack;  // one per open table, innermost last
};

}  // namespace tarvo
