// Tables: "{|" opens a table, "|+" a caption, "|-" a row, "!" header cells,
// "|" data cells (several on a line with "!!" and "||"), "|}" closes it.
// Rows and cells open lazily and stay open until the next cell, row, caption
// or table end. tableStack holds the flags of each open table.
#include "markup/body_run.h"
#include "markup/markup.h"

namespace tarvo {

namespace {

constexpr std::size_t npos = std::string::npos;

// npos counts as greater than every position.
bool before(std::size_t a, std::size_t b) { return a != npos && a < b; }

std::uint8_t& innermost(BlockState& st) { return reinterpret_cast<std::uint8_t&>(st.tableStack.back()); }

void closeOpenCell(BodyRun& run) {
    std::uint8_t& flags = innermost(run.st);
    if (flags & kHeaderCellOpen) {
        run.closeOpenBlock();
        run.write("</th>\n");
        flags &= static_cast<std::uint8_t>(~kHeaderCellOpen);
    }
    if (flags & kDataCellOpen) {
        run.closeOpenBlock();
        run.write("</td>\n");
        flags &= static_cast<std::uint8_t>(~kDataCellOpen);
    }
}

void openRowIfNeeded(BodyRun& run) {
    std::uint8_t& flags = innermost(run.st);
    if (flags & kRowOpen) return;
    if (!run.rowAttributes.empty()) {
        run.write("<tr ");
        run.write(run.rowAttributes);
        run.write(">\n");
        run.rowAttributes.clear();
    } else {
        run.write("<tr>\n");
    }
    flags |= kRowOpen;
}

// Writes a cell's opening tag; with a separator at `bar`, the text before it
// is the cell's attributes and is taken off the line with the "|".
void openCellTag(BodyRun& run, std::size_t bar, std::string_view tag) {
    if (bar == npos) {
        run.write(tag == "<td" ? "<td>" : "<th>");
        return;
    }
    run.write(tag);
    run.write(" ");
    run.write(std::string_view(run.source).substr(run.b, bar - run.b));
    run.write(">");
    run.b = bar + 1;
}

void captionOrRow(BodyRun& run, char kind) {
    run.b += 2;
    run.trimLine();
    closeOpenCell(run);
    std::uint8_t& flags = innermost(run.st);
    if (flags & kRowOpen) {
        run.closeOpenBlock();
        run.write("</tr>\n");
        flags &= static_cast<std::uint8_t>(~kRowOpen);
    }
    if (kind == '-') {
        run.rowAttributes.assign(run.line());
        return;
    }
    std::size_t bar = run.line().find('|');
    if (bar == npos) {
        run.write("<caption>");
    } else {
        run.write("<caption ");
        run.write(run.line().substr(0, bar));
        run.write(">");
        run.b += bar + 1;
    }
    run.writeFormatted(run.b, run.e);
    run.write("</caption>\n");
}

void dataCellLine(BodyRun& run) {
    run.b += 1;
    run.cellLine = true;
    std::size_t nwOpen = run.find(run.nowikiOpen, run.b);
    std::size_t nwClose = run.find(run.nowikiClose, run.b);
    for (;;) {
        std::uint8_t& flags = innermost(run.st);
        if (flags & kHeaderCellOpen) {
            run.closeOpenBlock();
            run.write("</th>\n");
            flags &= static_cast<std::uint8_t>(~kHeaderCellOpen);
        }
        if (flags & kDataCellOpen) {
            run.closeOpenBlock();
            run.write("</td>\n");
        }
        openRowIfNeeded(run);
        innermost(run.st) |= kDataCellOpen;

        std::size_t g = run.find(run.bar, run.b);
        if (g == npos) {
            run.write("<td>");
            break;
        }
        if (before(nwOpen, g) && g < nwClose) g = npos;
        std::size_t h = run.find(run.doubleBar, run.b);
        if (h != npos && h <= g) g = npos;
        if (before(nwOpen, h)) {
            bool oneCell = nwClose == npos;
            if (!oneCell && before(h, nwClose)) {
                h = run.find(run.doubleBar, nwClose);
                oneCell = h == npos;
            }
            if (oneCell) {
                openCellTag(run, before(g, nwOpen) ? g : npos, "<td");
                break;
            }
        }
        if (g != npos && before(run.find(run.linkOpen, run.b), g)) g = npos;
        openCellTag(run, g, "<td");
        if (h == npos) break;

        const std::size_t contentBegin = run.b;
        run.b = h + 2;
        if (nwOpen == npos) {
            if (nwClose != npos) nwClose = run.find(run.nowikiClose, run.b);
        } else if (nwOpen < h) {
            nwOpen = run.find(run.nowikiOpen, run.b);
            if (nwClose != npos) nwClose = run.find(run.nowikiClose, run.b);
        }
        run.writeFormatted(contentBegin, h);
        if (run.st.inComment) return commentContinuation(run);
    }
    textStep(run);
}

}  // namespace

void tableStartStep(BodyRun& run) {
    run.rowAttributes.clear();
    run.closeOpenBlock();
    run.b += 2;
    run.trimLine();
    run.st.tableStack.push_back(static_cast<char>(kTableBodyOpen));
    run.write("<table");
    if (run.b < run.e) {
        run.write(" ");
        run.write(run.line());
    }
    run.write(">\n<tbody>\n");
}

void headerCellStep(BodyRun& run) {
    run.b += 1;
    run.trimLine();
    run.cellLine = true;
    closeOpenCell(run);
    openRowIfNeeded(run);
    innermost(run.st) |= kHeaderCellOpen;
    std::size_t bang = run.find(run.doubleBang, run.b);
    std::size_t bar = run.find(run.bar, run.b);
    if (bar != npos && (bang == npos || bar < bang)) openCellTag(run, bar, "<th");
    else run.write("<th>");
    if (bang != npos) {
        run.setPending(bang + 1, run.e);
        run.e = bang;
    }
    textStep(run);
}

void tableLineStep(BodyRun& run) {
    const char second = run.b + 1 < run.e ? run.source[run.b + 1] : '\0';
    if (second == '+' || second == '-') return captionOrRow(run, second);
    if (second == '}') {
        run.closeOpenBlock();
        closeTable(run.st, run.out);
        run.b += 2;
        while (run.b < run.e && (run.source[run.b] == ' ' || run.source[run.b] == '\t')) ++run.b;
        if (run.b < run.e) textStep(run);
        return;
    }
    dataCellLine(run);
}

void closeTable(BlockState& st, PageOutput& out) {
    const std::uint8_t flags = static_cast<std::uint8_t>(st.tableStack.back());
    if (flags & kHeaderCellOpen) out.write("</th>\n");
    if (flags & kDataCellOpen) out.write("</td>\n");
    if (flags & kRowOpen) out.write("</tr>\n");
    out.write("</tbody>\n</table>\n");
    st.tableStack.pop_back();
}

}  // namespace tarvo
