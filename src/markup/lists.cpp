// Bulleted ("*"), numbered ("#") and definition (";" term, ":" definition)
// lists, nested to any depth. listPrefix holds the marker of each open level.
#include "markup/body_run.h"
#include "markup/markup.h"

namespace tarvo {

namespace {

struct ListTexts {
    std::string_view levelCloser;
    std::string_view itemCloser;
    std::string_view listOpener;
    std::string_view intermediateItem;
    std::string_view ownItem;
};

const ListTexts& textsFor(char marker) {
    static constexpr ListTexts kBullet{"</li>\n</ul>\n", "</li>\n", "<ul>\n", "<li>\n", "<li>"};
    static constexpr ListTexts kNumber{"</li>\n</ol>\n", "</li>\n", "<ol>\n", "<li>\n", "<li>"};
    static constexpr ListTexts kDefinition{"</dd></dl>\n", "</dd>\n", "<dl>", "<dd>\n", "<dd>"};
    static constexpr ListTexts kTerm{"</dt></dl>\n", "</dt>\n", "<dl>", "<dt>\n", "<dt>"};
    switch (marker) {
        case '*': return kBullet;
        case '#': return kNumber;
        case ':': return kDefinition;
        default: return kTerm;
    }
}

bool isListKind(char c) { return c == '*' || c == '#'; }

}  // namespace

void closeListLevels(BlockState& st, PageOutput& out) {
    while (!st.listPrefix.empty()) {
        out.write(textsFor(st.listPrefix.back()).levelCloser);
        st.listPrefix.pop_back();
    }
}

void listItemStep(BodyRun& run) {
    BlockState& st = run.st;
    if (st.blockMode != BlockMode::List) run.closeBlock();
    else run.closeTags();
    const std::string_view line = run.line();
    std::size_t n = 1;
    while (n < line.size() && isListMarker(line[n])) ++n;
    while (st.listPrefix.size() > n) {
        run.write(textsFor(st.listPrefix.back()).levelCloser);
        st.listPrefix.pop_back();
    }
    const std::size_t k = st.listPrefix.size();
    const char own = line[n - 1];
    if (k == n) {
        const char old = st.listPrefix.back();
        run.write(textsFor(old).itemCloser);
        if (old != own) {
            if (isListKind(old)) {
                run.write(old == '*' ? "</ul>\n" : "</ol>\n");
                if (!isListKind(own)) run.write("<dl>");
            } else if (isListKind(own)) {
                run.write("</dl>");
            }
            if (own == '#') run.write("<ol>\n");
            if (own == '*') run.write("<ul>\n");
            st.listPrefix.back() = own;
        }
    } else {
        // Only the new, deeper levels are taken from the line's prefix.
        if (k > 0) run.write("\n");
        for (std::size_t j = k; j < n; ++j) {
            const ListTexts& t = textsFor(line[j]);
            run.write(t.listOpener);
            if (j < n - 1) run.write(t.intermediateItem);
            st.listPrefix.push_back(line[j]);
        }
    }
    run.write(textsFor(own).ownItem);
    run.b += n;
    run.skipBlanks();
    run.writeFormatted(run.b, run.e);
    st.blockMode = BlockMode::List;
}

}  // namespace tarvo
