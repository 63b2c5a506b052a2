// Test mode: the generated page is compared line by line with the page stored
// by an earlier run, as it is generated, and the first difference is
// reported once the page is done (after whatever its diagrams printed).
#pragma once

#include <string>
#include <string_view>

#include "io/page_output.h"
#include "io/wiki_in_stream.h"
#include "page/report.h"

namespace tarvo {

class PageComparison final : public ByteSink {
public:
    explicit PageComparison(WikiInStream& stored) : stored_(stored) {}

    // The next bytes of the generated page ("\n" line ends).
    void take(std::string_view bytes) override;
    // 0 when the pages are the same line for line, otherwise 1 after the
    // difference was reported.
    int finish(Report& report, const WString& source, const WString& page);

private:
    void compareLine(std::string_view line);

    WikiInStream& stored_;
    std::string partial_;  // a generated line whose end has not come yet
    unsigned count_ = 0;   // lines compared
    bool differs_ = false;
    std::string_view storedLine_;  // valid until the next read: none follows a difference
    std::string generatedLine_;    // at the difference
    bool storedDone_ = false;    // the stored page ended first:
    std::string extra_;          // the generated lines it lacks, each with "\n"
};

}  // namespace tarvo
