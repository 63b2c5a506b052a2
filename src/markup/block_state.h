// What stays open between the lines of a page: emphasis, comments, raw text,
// the open block, the open lists and tables.
#pragma once

#include <cstdint>
#include <string>

namespace tarvo {

enum class RawMode : std::uint8_t { Normal = 0, Nowiki = 1, PreBlock = 255 };

enum class BlockMode : std::int32_t { None = 0, Paragraph = 1, List = 2, PreTag = 3, PreIndent = 4 };

// Flags of one open table.
constexpr std::uint8_t kTableBodyOpen = 0x01;
constexpr std::uint8_t kRowOpen = 0x04;
constexpr std::uint8_t kDataCellOpen = 0x08;
constexpr std::uint8_t kHeaderCellOpen = 0x10;

struct BlockState {
    bool italicOpen = false;
    bool boldOpen = false;
    bool diagramOpen = false;
    bool inComment = false;
    RawMode rawMode = RawMode::Normal;
    BlockMode blockMode = BlockMode::None;
    std::string listPrefix;  // one of "*#:;" per open list level, outermost first
    std::string tableStack;  // one flags byte per open table, innermost last
};

}  // namespace tarvo
