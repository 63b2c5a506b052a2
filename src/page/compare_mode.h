// Test mode: the generated page is compared line by line with the page stored
// by an earlier run, as it is generated, and the first difference is
// reported once the page is done (after whatever its diagrams printed).
#pragma once

#include <string>
#include <string_view>

#include "io/page_output.h"
#include "io/wiki_in_stream.h"
#include "page/outcome.h"

namespace tarvo {

// The generated page is compared with the stored line as its bytes come, so
// that a long line is never held whole twice: up to the first difference the
// generated line is the stored line's start, and only what follows it is
// kept for the message.
class PageComparison final : public ByteSink {
public:
    explicit PageComparison(WikiInStream& stored) : stored_(stored) {}

    // The next bytes of the generated page ("\n" line ends).
    void take(std::string_view bytes) override;
    // What the comparison found once the generated page has ended.
    Verdict finish();

private:
    // The generated line in hand has ended.
    void lineEnds();

    WikiInStream& stored_;
    unsigned count_ = 0;           // lines compared
    bool inLine_ = false;          // a generated line has begun and not ended
    std::string_view storedLine_;  // its stored line: valid until the next read
    std::size_t matched_ = 0;      // the bytes of it the generated line matched
    bool differs_ = false;         // it differs; no line is read after it
    bool differenceDone_ = false;  // the differing generated line has ended
    std::string rest_;             // the differing line from matched_ on
    bool storedDone_ = false;      // the stored page ended first:
    std::string extra_;            // the generated lines it lacks
};

}  // namespace tarvo
