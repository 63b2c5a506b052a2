// Every message the program prints goes through one Report, and only the top
// of the program (the command line, the run) calls it: the steps below return
// what happened as values (page/outcome.h). The rules of the console, which
// Report keeps, are in src/README.md; all the texts are in report.cpp.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "io/refusal.h"
#include "page/outcome.h"

namespace tarvo {

// Where the messages go: the process's standard output and standard error,
// or whatever a test puts in their place.
class Console {
public:
    // True when every byte went out.
    virtual bool out(std::string_view bytes) = 0;
    virtual void err(std::string_view bytes) = 0;
    // Someone may watch standard output: lines go out as they end.
    virtual bool outIsTerminal() const = 0;

protected:
    ~Console() = default;
};

// The process's own standard output and standard error.
Console& systemConsole();

class Report {
public:
    explicit Report(Console& console = systemConsole()) : console_(console) {}
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;
    ~Report() { flush(); }

    // The page itself goes to standard output: messages meant for standard
    // output go to standard error instead.
    void keepStandardOutputForThePage() { toStandardError_ = true; }
    // Standard output is written whenever flush() is called (or much has
    // gathered), even on a terminal: a run on several threads lets the lines
    // of a batch of pages out at once.
    void gatherLines() { gatherLines_ = true; }
    // Someone may be watching standard output (a terminal).
    bool watched() const { return console_.outIsTerminal(); }
    // Writes out what standard output holds back.
    void flush();

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
    // Hints for the usual mistakes, on standard error after the run: the
    // source is a folder; a recursive run found no file matching pathPattern
    // in folder or below; too many names, as a shell gives for a wildcard
    // it expanded.
    void sourceIsAFolder(const WString& folder);
    void nothingMatchesBelow(const WString& pathPattern, const WString& folder);
    void quoteTheWildcard();

    // ---- a page ----
    void pageStarts(bool comparing, const WString& source, const WString& page);
    // A page's step went wrong: on the page's line when it has begun.
    void trouble(const Trouble& trouble);
    void pageDone();
    // Test mode: what the comparison found (" - OK" ends the line).
    void verdict(const Verdict& verdict, const WString& source, const WString& page);

    // ---- the diagrams' pictures ----
    void noDotProgram(const WString& program);
    void picturePrefixOutside(std::string_view genPrefix);
    // Ends the line a page left open, if any.
    void endOpenLine();
    void picture(const PictureTrouble& trouble, double timeoutSeconds);

    // ---- the check of links, after the run ----
    // folder: the folder of the pages a template's link was checked from,
    // when the run put pages in several (else empty).
    void brokenLink(const WString& source, std::string_view target, const WString& folder);
    // After the links: how many lead nowhere, in how many pages.
    void brokenLinksCounted(std::size_t links, std::size_t pages);

private:
    void out(std::initializer_list<std::string_view> parts);
    void err(std::initializer_list<std::string_view> parts);
    void cantCreate(const WString& path, Refusal why, const WString& earlierSource, std::string_view end);
    void cantRender(const PictureTrouble& trouble, double timeoutSeconds);

    Console& console_;
    bool toStandardError_ = false;
    bool gatherLines_ = false;
    // Standard output is written a whole console line at a time: a page's
    // line goes out in one piece when it ends.
    std::string pending_;
    bool lineOpen_ = false;  // the last message left its line open
};

}  // namespace tarvo
