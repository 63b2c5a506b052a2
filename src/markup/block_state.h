// What stays open between the lines of a page: emphasis, comments, raw text,
// the open block, the open lists and tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo {

enum class RawMode : std::uint8_t { Normal, Nowiki, PreBlock };

enum class BlockMode : std::uint8_t { None, Paragraph, List, PreTag, PreIndent };

// What is open in one table.
struct TableState {
    bool rowOpen = false;
    bool dataCellOpen = false;
    bool headerCellOpen = false;
};

struct BlockState {
    bool italicOpen = false;
    bool boldOpen = false;
    bool inComment = false;
    RawMode rawMode = RawMode::Normal;
    BlockMode blockMode = BlockMode::None;
    std::string listPrefix;             // one of "*#:;" per open list level, outermost first
    std::vector<TableState> tableStack;  // one per open table, innermost last
};

}  // namespace tarvo
