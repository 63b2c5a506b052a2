// The block parser: reads a page body line by line, classifies each line
// (paragraph, heading, rule, preformatted text, comment, list, table,
// diagram) and writes the block-level HTML around the inline translation.
#include <string>

#include "diagram/diagram.h"
#include "markup/body_run.h"
#include "markup/headings.h"
#include "markup/markup.h"
#include "markup/safe_html.h"
#include "text/ascii.h"
#include "text/html_entities.h"

namespace tarvo {

namespace {

void indentedStep(BodyRun& run) {
    BlockState& st = run.st;
    if (st.blockMode == BlockMode::PreTag || st.blockMode == BlockMode::PreIndent) {
        run.write("\n");
    } else if (st.blockMode == BlockMode::None) {
        run.closeTags();
        run.write("\n<pre>");
        st.blockMode = BlockMode::PreIndent;
    } else {
        run.closeBlock();
        run.write("<pre>");
        st.blockMode = BlockMode::PreIndent;
    }
    run.writeFormatted(run.b + 1, run.e);
}

void ruleStep(BodyRun& run) {
    if (run.line().substr(0, 4) != "----") return textStep(run);
    run.closeBlock();
    run.write("<hr>\n");
    std::size_t i = run.b + 4;
    while (i < run.e && run.source[i] == '-') ++i;
    while (i < run.e && static_cast<unsigned char>(run.source[i]) <= 32) ++i;
    if (i < run.e) {
        run.writeFormatted(i, run.e);
        run.closeTags();
        run.write("\n");
    }
}

// A heading with the id its text gives: the text is translated first, into
// a buffer of its own, then written after the opening tag that carries the
// id. The page hears of the heading before its tag is written.
void headingWithId(BodyRun& run, int level, std::string_view number) {
    PageOutput& page = *run.out;
    PageOutput text(run.ctx.heading);
    run.out = &text;
    run.writeFormatted(run.b, run.e);
    run.closeTags();
    run.out = &page;
    const std::string id = uniqueId(run.ctx.headingIds, idOfText(text.text()));
    if (run.ctx.inlines.options.contents) run.events.heading(level, id, withoutLinks(text.text()));
    run.write("<h");
    run.write(number);
    if (!id.empty()) {
        std::string attribute = " id=\"";
        appendEscaped(attribute, id);
        attribute += '"';
        run.write(attribute);
    }
    run.write(">");
    run.write(text.text());
    run.write("</h");
    run.write(number);
    run.write(">\n");
}

void headingStep(BodyRun& run) {
    std::string_view text = run.line();
    std::size_t open = text.find_first_not_of('=');
    if (open == std::string_view::npos) open = text.size();
    text = trimmedRight(text);
    std::size_t close = 0;
    while (close < text.size() && text[text.size() - 1 - close] == '=') ++close;
    std::size_t level = open < close ? open : close;
    if (level == 0) return textStep(run);
    run.closeBlock();
    run.e = run.b + text.size() - level;
    run.b = run.b + level < run.e ? run.b + level : run.e;
    run.trimLine();
    std::string number = std::to_string(level);
    if (run.ctx.inlines.options.headingIds) return headingWithId(run, static_cast<int>(level), number);
    run.write("<h");
    run.write(number);
    run.write(">");
    run.writeFormatted(run.b, run.e);
    run.closeTags();
    run.write("</h");
    run.write(number);
    run.write(">\n");
}

// A line that starts with a "<pre" or "<source" tag, with --safe: the tag
// as "<pre" with the attributes a pre keeps (none when it continues an
// indented block); without its end, the tag is text in the block.
void safePreLine(BodyRun& run, bool continuesIndented) {
    run.tag.clear();
    const std::size_t length = appendPreTag(run.tag, run.line(), run.ctx.inlines.buffers.decoded);
    const bool ended = length != std::string_view::npos;
    if (!continuesIndented) run.write(ended ? std::string_view(run.tag) : std::string_view("<pre>"));
    if (ended) run.b += length;
    run.writeFormatted(run.b, run.e);
}

// A diagram block at the start of a line, with --safe: its picture's name
// escaped, and what follows the block translated, as inside a line.
void safeDiagramLine(BodyRun& run, std::string_view rest) {
    const DiagramContext& diagram = run.ctx.inlines.diagram;
    run.tag.clear();
    appendPictureImage(run.tag, pictureName(run.ctx.inlines.options.genPrefix, diagram.diagramName),
                       run.ctx.inlines.buffers.decoded);
    run.write(run.tag);
    const std::size_t restBegin = static_cast<std::size_t>(rest.data() - run.source.data());
    if (!rest.empty()) run.writeFormatted(restBegin, restBegin + rest.size());
    run.closeTags();
    run.write("\n");
}

void tagAtStartStep(BodyRun& run) {
    BlockState& st = run.st;
    std::string_view text = run.line();
    if (isPreOpen(text)) {
        if (!run.isPre()) run.closeBlock();
        const bool continuesIndented = st.blockMode == BlockMode::PreIndent;
        st.blockMode = BlockMode::PreTag;
        run.text.rawMode = RawMode::PreBlock;
        if (run.safe()) return safePreLine(run, continuesIndented);
        std::size_t gt = text.find('>');
        if (gt != std::string_view::npos) {
            if (!continuesIndented) {
                if (text[1] == 's') {
                    run.write("<pre");
                    run.write(text.substr(7, gt + 1 - 7));
                } else {
                    run.write(text.substr(0, gt + 1));
                }
            }
            run.b += gt + 1;
        }
        run.writeFormatted(run.b, run.e);
        return;
    }
    // A diagram block opened at the start of a line: the image, then what
    // follows the block on the line, go to the page as they are.
    if (diagramTagNameLength(text) > 0) {
        const std::size_t gt = text.find('>');
        if (gt != std::string_view::npos) {
            DiagramContext& diagram = run.ctx.inlines.diagram;
            openDiagram(diagram, text.substr(0, gt + 1));
            std::string_view rest = text.substr(gt + 1);
            if (!rest.empty()) rest.remove_prefix(captureDiagramText(diagram, rest, run.events));
            if (run.safe()) return safeDiagramLine(run, rest);
            run.write(diagramImage(diagram, run.ctx.inlines.options.genPrefix));
            run.write(rest);
            run.write("\n");
            return;
        }
    }
    textStep(run);
}

void paragraphStep(BodyRun& run) {
    BlockState& st = run.st;
    if (st.blockMode == BlockMode::Paragraph || st.blockMode == BlockMode::PreTag ||
        (st.blockMode == BlockMode::PreIndent && run.text.rawMode == RawMode::Nowiki)) {
        run.write("\n");
    } else if (trimmedLeft(run.line()).substr(0, 4) == "<!--") {
        std::size_t end = run.line().find("-->");
        if (end == std::string_view::npos) {
            run.b = run.e;
            run.text.inComment = true;
        } else {
            run.b += end + 3;
            run.text.inComment = false;
        }
    } else {
        run.closeBlock();
        run.write("<p>");
        st.blockMode = BlockMode::Paragraph;
    }
    run.writeFormatted(run.b, run.e);
}

// One logical line: the first test that applies decides.
void classify(BodyRun& run) {
    if (run.text.inComment) return commentContinuation(run);
    if (run.text.rawMode != RawMode::Normal) return textStep(run);
    const bool inTable = !run.st.tableStack.empty();
    switch (run.source[run.b]) {
        case ' ':
        case '\t': return indentedStep(run);
        case '!': return inTable ? headerCellStep(run) : textStep(run);
        case '-': return ruleStep(run);
        case '<': return tagAtStartStep(run);
        case '=': return headingStep(run);
        case '{':
            return run.b + 1 < run.e && run.source[run.b + 1] == '|' ? tableStartStep(run) : textStep(run);
        case '|': return inTable ? tableLineStep(run) : textStep(run);
        default: return isListMarker(run.source[run.b]) ? listItemStep(run) : textStep(run);
    }
}

// A line of nothing but words about the table of contents (and blanks), in
// normal text: it counts as an empty line, and the page hears of each word
// once the block before it is closed.
bool contentsWordsLine(BodyRun& run) {
    if (run.text.inComment || run.text.rawMode != RawMode::Normal) return false;
    ContentsWord words[8];
    std::size_t count = 0;
    std::string_view rest = run.source;
    while (!rest.empty()) {
        const std::size_t length = contentsWordAt(rest, words[count]);
        if (length == 0 || ++count == std::size(words)) return false;
        rest = trimmedLeft(rest.substr(length));
    }
    run.closeBlock();
    for (std::size_t i = 0; i < count; ++i) run.events.contentsWord(words[i]);
    return true;
}

}  // namespace

void BodyRun::writeFormatted(std::size_t from, std::size_t to) {
    const std::string_view piece = std::string_view(source).substr(from, to - from);
    std::size_t plain = 0;
    if (!text.inComment) {
        plain = text.rawMode == RawMode::Normal ? plainLength(piece, ctx.inlines.options.contents)
                                                : rawPlainLength(piece);
        if (plain == piece.size()) {
            out->write(piece);  // nothing to translate
            return;
        }
    }
    out->write(formatInline(ctx.inlines, *this, events, *out, piece, plain));
}

bool BodyRun::preOpened() {
    const bool wasOpen = isPre();
    if (!wasOpen) closeBlock();
    st.blockMode = BlockMode::PreTag;
    return wasOpen;
}

void textStep(BodyRun& run) {
    if (run.text.inComment) return commentContinuation(run);
    if (!run.st.tableStack.empty() && run.cellLine) return run.writeFormatted(run.b, run.e);
    paragraphStep(run);
}

void commentContinuation(BodyRun& run) {
    std::size_t end = run.line().find("-->");
    if (end == std::string_view::npos) return;
    run.text.inComment = false;
    run.setPending(run.b + end + 3, run.e);
}

void closeBlock(BlockState& st, OpenTags& tags, PageOutput& out) {
    if (!tags.empty()) closeOpenTags(tags, out);
    switch (st.blockMode) {
        case BlockMode::Paragraph: out.write("</p>\n"); break;
        case BlockMode::List: closeListLevels(st, out); break;
        case BlockMode::PreTag:
        case BlockMode::PreIndent: out.write("</pre>\n"); break;
        case BlockMode::None: break;
    }
    st.blockMode = BlockMode::None;
}

void convertBody(MarkupContext& ctx, LineSource& source, PageOutput& out, PageEvents& events) {
    // Emphasis, comments, raw text and diagrams never reach into the next
    // page; blocks, lists and tables are closed at the end of each body.
    ctx.inlines.state = InlineState();
    ctx.inlines.diagram.diagramOpen = false;
    ctx.headingIds.clear();
    const bool contents = ctx.inlines.options.contents;
    BodyRun run(ctx, out, events);
    BlockState& st = ctx.block;
    DiagramContext& diagram = ctx.inlines.diagram;
    while (source.readLine(run.source)) {
        run.source = trimmedRight(run.source);
        if (diagram.diagramOpen) run.source.remove_prefix(captureDiagramText(diagram, run.source, events));
        if (run.source.empty()) {
            if (run.text.inComment) continue;
            if (st.blockMode == BlockMode::PreTag) out.write("\n");
            else run.closeBlock();
            continue;
        }
        if (contents && run.source[0] == '_' && contentsWordsLine(run)) continue;
        run.newLine();
        run.b = 0;
        run.e = run.source.size();
        for (;;) {
            run.cellLine = false;
            run.hasPending = false;
            classify(run);
            if (!run.hasPending) break;
            run.b = run.pendingBegin;
            run.e = run.pendingEnd;
        }
    }
    run.closeBlock();
    while (!st.tableStack.empty()) closeTable(st, out);
}

}  // namespace tarvo
