// Tables: "{|" opens a table, "|+" a caption, "|-" a row, "!" header cells,
// "|" data cells (several on a line with "!!" and "||"), "|}" closes it.
// Rows and cells open lazily and stay open until the next cell, row, caption
// or table end. tableStack holds what is open in each table.
#include "markup/body_run.h"
#include "markup/markup.h"

namespace tarvo {

namespace {

constexpr std::size_t npos = std::string::npos;

// npos counts as greater than every position.
bool before(std::size_t a, std::size_t b) { return a != npos && a < b; }

TableState& innermost(BlockState& st) { return st.tableStack.back(); }

void closeOpenCell(BodyRun& run) {
    TableState& table = innermost(run.st);
    if (table.headerCellOpen) {
        run.closeBlock();
        run.write("</th>\n");
        table.headerCellOpen = false;
    }
    if (table.dataCellOpen) {
        run.closeBlock();
        run.write("</td>\n");
        table.dataCellOpen = false;
    }
}

// "<name attributes>", the attributes as written; with --safe only those
// the tag keeps.
void writeTag(BodyRun& run, std::string_view name, std::string_view attributes) {
    run.tag = '<';
    run.tag += name;
    if (run.safe()) {
        bool selfClosing;
        appendAllowedAttributes(run.tag, allowedTagIndex(name), attributes, true, selfClosing,
                                run.ctx.inlines.buffers.decoded);
    } else {
        run.tag += ' ';
        run.tag += attributes;
    }
    run.tag += '>';
    run.write(run.tag);
}

void openRowIfNeeded(BodyRun& run) {
    TableState& table = innermost(run.st);
    if (table.rowOpen) return;
    if (run.rowAttributes.empty()) {
        run.write("<tr>\n");
    } else {
        writeTag(run, "tr", run.rowAttributes);
        run.write("\n");
        run.rowAttributes.clear();
    }
    table.rowOpen = true;
}

// Writes a cell's opening tag; with a separator at `bar`, the text before it
// is the cell's attributes and is taken off the line with the "|".
void openCellTag(BodyRun& run, std::size_t bar, std::string_view tag) {
    if (bar == npos) {
        run.write(tag == "<td" ? "<td>" : "<th>");
        return;
    }
    writeTag(run, tag.substr(1), std::string_view(run.source).substr(run.b, bar - run.b));
    run.b = bar + 1;
}

void captionOrRow(BodyRun& run, char kind) {
    run.b += 2;
    run.trimLine();
    closeOpenCell(run);
    TableState& table = innermost(run.st);
    if (table.rowOpen) {
        run.closeBlock();
        run.write("</tr>\n");
        table.rowOpen = false;
    }
    if (kind == '-') {
        run.rowAttributes.assign(run.line());
        return;
    }
    std::size_t bar = run.line().find('|');
    if (bar == npos) {
        run.write("<caption>");
    } else {
        writeTag(run, "caption", run.line().substr(0, bar));
        run.b += bar + 1;
    }
    run.writeFormatted(run.b, run.e);
    run.closeTags();
    run.write("</caption>\n");
}

// A line of data cells: "|" then cells separated by "||". A "|" inside a
// cell separates its attributes from its content, unless a "[[" or a nowiki
// span comes first.
void dataCellLine(BodyRun& run) {
    run.b += 1;
    run.cellLine = true;
    // The nowiki spans matter only around a "|": a line without one, the
    // most common, is not searched for them.
    std::size_t nowikiOpen = npos;
    std::size_t nowikiClose = npos;
    for (bool first = true;; first = false) {
        closeOpenCell(run);
        openRowIfNeeded(run);
        innermost(run.st).dataCellOpen = true;

        std::size_t attributeBar = run.find(run.bar, run.b);
        if (attributeBar == npos) {
            run.write("<td>");
            break;
        }
        if (first) {
            nowikiOpen = run.find(run.nowikiOpen, run.b);
            nowikiClose = run.find(run.nowikiClose, run.b);
        }
        if (before(nowikiOpen, attributeBar) && attributeBar < nowikiClose) attributeBar = npos;
        std::size_t nextCell = run.find(run.doubleBar, run.b);
        if (nextCell != npos && nextCell <= attributeBar) attributeBar = npos;
        if (before(nowikiOpen, nextCell)) {
            bool oneCell = nowikiClose == npos;
            if (!oneCell && before(nextCell, nowikiClose)) {
                nextCell = run.find(run.doubleBar, nowikiClose);
                oneCell = nextCell == npos;
            }
            if (oneCell) {
                openCellTag(run, before(attributeBar, nowikiOpen) ? attributeBar : npos, "<td");
                break;
            }
        }
        if (attributeBar != npos && before(run.find(run.linkOpen, run.b), attributeBar)) attributeBar = npos;
        openCellTag(run, attributeBar, "<td");
        if (nextCell == npos) break;

        const std::size_t contentBegin = run.b;
        run.b = nextCell + 2;
        if (nowikiOpen == npos) {
            if (nowikiClose != npos) nowikiClose = run.find(run.nowikiClose, run.b);
        } else if (nowikiOpen < nextCell) {
            nowikiOpen = run.find(run.nowikiOpen, run.b);
            if (nowikiClose != npos) nowikiClose = run.find(run.nowikiClose, run.b);
        }
        run.writeFormatted(contentBegin, nextCell);
        if (run.text.inComment) return commentContinuation(run);
    }
    textStep(run);
}

}  // namespace

void tableStartStep(BodyRun& run) {
    run.rowAttributes.clear();
    run.closeBlock();
    run.b += 2;
    run.trimLine();
    run.st.tableStack.emplace_back();
    if (run.safe()) {
        writeTag(run, "table", run.line());
        run.write("\n<tbody>\n");
        return;
    }
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
    innermost(run.st).headerCellOpen = true;
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
        run.closeBlock();
        closeTable(run.st, *run.out);
        run.b += 2;
        run.skipBlanks();
        if (run.b < run.e) textStep(run);
        return;
    }
    dataCellLine(run);
}

void closeTable(BlockState& st, PageOutput& out) {
    const TableState& table = st.tableStack.back();
    if (table.headerCellOpen) out.write("</th>\n");
    if (table.dataCellOpen) out.write("</td>\n");
    if (table.rowOpen) out.write("</tr>\n");
    out.write("</tbody>\n</table>\n");
    st.tableStack.pop_back();
}

}  // namespace tarvo
