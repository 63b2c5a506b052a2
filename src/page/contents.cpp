#include "page/contents.h"

#include "markup/headings.h"

namespace tarvo {

namespace {

// Headings that make a table of contents without any word asking for one.
constexpr std::size_t kEnoughHeadings = 4;

}  // namespace

void Contents::heading(int level, std::string_view id, std::string_view text) {
    if (firstHeading_ == npos) firstHeading_ = body_.text().size();
    if (!id.empty()) entries_.push_back({level, std::string(id), std::string(text)});
}

void Contents::contentsWord(ContentsWord word) {
    switch (word) {
        case ContentsWord::Here:
            if (here_ == npos) here_ = body_.text().size();
            break;
        case ContentsWord::Never: never_ = true; break;
        case ContentsWord::Always: always_ = true; break;
    }
}

// A heading deeper than the one before it opens a list inside that one's
// item, however many levels it skips; one that is not deeper closes the
// lists of the deeper headings before it and stands beside the last heading
// of its level or above.
void Contents::write(PageOutput& out, std::string_view body) const {
    const bool shown = !entries_.empty() && (here_ != npos || (!never_ && (always_ || entries_.size() >= kEnoughHeadings)));
    if (!shown) {
        out.write(body);
        return;
    }
    const std::size_t at = here_ != npos ? here_ : firstHeading_;
    std::string table = "<div class=\"toc\">\n";
    std::vector<int> open;  // the level of the item open at each depth
    for (const Entry& entry : entries_) {
        if (open.empty()) {
            table += "<ul>\n<li>";
            open.push_back(entry.level);
        } else if (entry.level > open.back()) {
            table += "\n<ul>\n<li>";
            open.push_back(entry.level);
        } else {
            while (open.size() > 1 && open[open.size() - 2] >= entry.level) {
                table += "</li>\n</ul>\n";
                open.pop_back();
            }
            table += "</li>\n<li>";
            open.back() = entry.level;
        }
        table += "<a href=\"#";
        appendFragment(table, entry.id);
        table += "\">";
        table += entry.text;
        table += "</a>";
    }
    for (std::size_t depth = open.size(); depth > 0; --depth) table += "</li>\n</ul>\n";
    table += "</div>\n";
    out.write(body.substr(0, at));
    out.write(table);
    out.write(body.substr(at));
}

}  // namespace tarvo
