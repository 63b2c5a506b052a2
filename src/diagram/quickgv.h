// The header of a quickgv block.
#pragma once

#include <string>
#include <string_view>

namespace tarvo {

// Writes the digraph line and the graph, node and edge defaults of a quickgv
// block named name, coloured by theme and shaped by usage.
void writeQuickgvHeader(std::string& dot, std::string_view name, std::string_view usage, std::string_view theme);

}  // namespace tarvo
