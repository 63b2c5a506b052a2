// A plain, slow reference of the inline formatter: the line is one string that
// is rewritten in place with insert and erase, and the scan resumes exactly at
// the position each construct names. No memo, no split of the line, no reuse
// of earlier searches. It exists to be compared with the fast formatter, which
// must give the same text, the same output bytes and the same state.
//
// The reference itself shares only the enumerations of BlockState and the
// quickgv header writer with the program; its block closers and its diagram
// capture are its own, so that the comparison also checks the fast side's use
// of them. The second half of this header runs both sides and compares them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/run_context.h"
#include "markup/block_state.h"

namespace tarvo::reference {

// The diagram block state the inline scan can change.
struct RefDiagram {
    bool quickgv = false;
    std::string closingTag;
    std::string name;
    std::string imageExtension;
    std::string dot;  // the DOT text of the block opened last
    int stores = 0;   // blocks closed (and handed to storing) so far
};

struct RefState {
    bool italicOpen = false;
    bool boldOpen = false;
    bool inComment = false;
    bool diagramOpen = false;
    RawMode rawMode = RawMode::Normal;
    BlockMode blockMode = BlockMode::None;
    std::string listPrefix;  // open list levels, outermost first
    RefDiagram diagram;
};

struct RefOptions {
    std::string filePrefix;  // in front of image names
    std::string genPrefix;   // in front of diagram picture names
};

// Rewrites text in place; what the formatter writes itself (text before a
// "<pre"/"<source" tag and the closers of the open block) is appended to out.
void formatInlineReference(RefState& state, const RefOptions& options, std::string& out, std::string& text);

// ---- running the fast formatter and the reference side by side ----

// A starting state for one comparison.
struct StartState {
    bool italicOpen = false;
    bool boldOpen = false;
    bool inComment = false;
    RawMode rawMode = RawMode::Normal;
    BlockMode blockMode = BlockMode::None;
    std::string listPrefix;  // used when blockMode is List

    // All starting states packed into one byte (the fuzz targets read it).
    static StartState fromByte(std::uint8_t b);
    std::string describe() const;
};

// What one side produced.
struct Outcome {
    std::string text;
    std::string out;
    bool italicOpen = false, boldOpen = false, inComment = false, diagramOpen = false;
    RawMode rawMode = RawMode::Normal;
    BlockMode blockMode = BlockMode::None;
    std::string listPrefix;
    std::string dot, diagramName;
    bool quickgv = false;

    std::string describe() const;
};

// The differences between two outcomes, one per line; empty when they agree.
std::string differences(const Outcome& fast, const Outcome& ref);

// One fast formatter (with its own RunContext) and one reference, started
// from the same state and fed the same lines; state runs on from line to line.
class SideBySide {
public:
    // workDir receives the fast side's DOT files; it must end with "/".
    SideBySide(const std::string& workDir, const RefOptions& options, const StartState& start);

    // Runs one line through both sides. Returns the differences (empty when
    // the sides agree); lastFast and lastRef hold what each side produced.
    std::string step(const std::string& line);

    Outcome lastFast, lastRef;
    int stores() const { return ref_.diagram.stores; }

private:
    RunContext ctx_;
    RefState ref_;
    RefOptions options_;
};

// A report of the first line of `lines` on which the sides differ, from the
// given starting state, or empty when they agree on all of them.
std::string compareLines(const std::string& workDir, const RefOptions& options, const StartState& start,
                         const std::string* lines, std::size_t count);

// A shorter form of a mismatch: lines after the first one that differs are
// dropped, then earlier lines and pieces of every line, as long as the sides
// still differ.
std::vector<std::string> shrinkLines(const std::string& workDir, const RefOptions& options,
                                     const StartState& start, std::vector<std::string> lines);

}  // namespace tarvo::reference
