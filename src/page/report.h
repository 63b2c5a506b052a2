// Every message the program prints goes through one Report. The console rules:
// 1. Messages go to standard output; "unknown option", "bad value for" and
//    "No file (or directory)" go to standard error. With "-" the page takes
//    standard output and every message goes to standard error.
// 2. A page's line starts with "Handling a -> b" ("Comparing a -> b" in test
//    mode) and has no line end yet.
// 3. What goes wrong while that page is made (a DOT file, the page's write, a
//    difference) follows on the same line; only a page that is done ends it.
// 4. A failure before a page's line begins ("Can't open a", "Can't create b
//    (...)") ends no line either; the run stops after it.
// 5. The banner, the usage, and the messages of the walk end their lines.
// 6. What went wrong with the diagrams' pictures is told after the last page,
//    in the order the diagrams were met, each message ending its line; the
//    first starts a new line when a failed page left one open.
// 7. The links that lead nowhere (--check-links) are reported after the run,
//    once the last page's line is ended, one line each.
// 8. Standard output goes out as its lines end when it is a terminal, else
//    in large pieces; what it holds goes out before anything on standard
//    error, so the two keep their order.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/output_file.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace tarvo {

class Report {
public:
    enum class Mode { Print, Hold };
    // Hold: the messages are kept until releaseInto() lets them out through
    // another report. A page made on another thread reports so, and the run
    // lets the pages' messages out in page order.
    explicit Report(Mode mode = Mode::Print) : holding_(mode == Mode::Hold) {}
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;
    ~Report() { flush(); }
    void releaseInto(Report& to);

    // The page itself goes to standard output: messages meant for standard
    // output go to standard error instead.
    void keepStandardOutputForThePage() { toStandardError_ = true; }

    // ---- the command line and the walk ----
    void banner();
    void usage();
    void help();
    void tooManyFilenames();
    void streamsMisused();
    void noInputFilename();
    void unknownOption(const WString& word);
    void badOptionValue(const WString& option, const WString& value);
    void noMatch(const WString& pathPattern);
    void cantOpenFolder(const WString& path);

    // ---- a page ----
    void cantOpenSource(const WString& path);
    void cantOpenStored(const WString& page);
    void pageStarts(bool comparing, const WString& source, const WString& page);
    void pageDone();
    void cantOpenTemplate(const WString& name);
    void templateWithoutMarker(const WString& name);
    // A page or DOT file that may not or could not be created; earlierSource
    // names the page's source for Refusal::EarlierPage.
    void cantCreate(const WString& path, Refusal why, const WString& earlierSource = {});
    void cantWrite(const WString& path);

    // ---- the diagrams' pictures ----
    void noDotProgram(const WString& program);
    void picturePrefixOutside(std::string_view genPrefix);
    // Ends the line a page left open, if any.
    void endOpenLine();
    void pictureRefused(const WString& picture, Refusal why, const WString& earlierSource);
    void pictureNotWritten(const WString& picture);
    // dot failed to make the picture of a diagram on the page of source.
    void cantRender(const WString& picture, const WString& source, const platform::ProcessResult& dot,
                    double timeoutSeconds);
    void pictureOutOfDate(const WString& picture);

    // ---- test mode's comparison ----
    // The generated line is given in two parts, one after the other.
    void difference(unsigned line, const WString& source, const WString& page, std::string_view stored,
                    std::string_view generatedStart, std::string_view generatedRest);
    void tooMuchGenerated(const WString& page, unsigned lines);
    void generatedLine(std::string_view line);
    void lessGenerated(const WString& page, unsigned lines);
    void comparedSame();

    // ---- the check of links, after the run ----
    void brokenLink(const WString& source, std::string_view target);

    // Writes out what standard output holds back.
    void flush();
    // Standard output is written whenever flush() is called (or much has
    // gathered) rather than a line at a time: a run on several threads lets
    // the lines of a batch of pages out at once.
    void gatherLines() { gatherLines_ = true; }

private:
    void out(std::initializer_list<std::string_view> parts);
    void err(std::initializer_list<std::string_view> parts);
    void hold(bool toError, std::initializer_list<std::string_view> parts);

    bool toStandardError_ = false;
    bool holding_;
    bool gatherLines_ = false;
    std::vector<std::pair<bool, std::string>> held_;  // to standard error, the text
    // Standard output is written a whole console line at a time: a page's
    // line goes out in one piece when it ends.
    std::string pending_;
    bool lineOpen_ = false;  // the last message left its line open
};

}  // namespace tarvo
