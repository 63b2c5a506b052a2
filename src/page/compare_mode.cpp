#include "page/compare_mode.h"

namespace tarvo {

void PageComparison::lineEnds() {
    inLine_ = false;
    if (!differs_ && matched_ != storedLine_.size()) differs_ = true;  // the generated line is shorter
    if (differs_) differenceDone_ = true;
}

void PageComparison::take(std::string_view bytes) {
    while (!bytes.empty() && !differenceDone_) {
        if (storedDone_) {
            extra_.append(bytes);
            return;
        }
        if (!inLine_) {
            if (!stored_.readLine(storedLine_)) {
                storedDone_ = true;
                continue;
            }
            inLine_ = true;
            matched_ = 0;
            ++count_;
        }
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (differs_) {
            rest_.append(piece);
        } else if (storedLine_.substr(matched_, piece.size()) == piece) {
            matched_ += piece.size();
        } else {
            differs_ = true;
            rest_.assign(piece);
        }
        if (end == std::string_view::npos) return;
        lineEnds();
        bytes.remove_prefix(end + 1);
    }
}

int PageComparison::finish(Report& report, const WString& source, const WString& page) {
    // A last line without its line end counts as a line.
    if (inLine_) lineEnds();
    if (differs_) {
        report.difference(count_, source, page, storedLine_, storedLine_.substr(0, matched_), rest_);
        return 1;
    }
    if (storedDone_) {
        report.tooMuchGenerated(page, count_);
        for (std::size_t at = 0; at < extra_.size();) {
            const std::size_t end = extra_.find('\n', at);
            report.generatedLine(std::string_view(extra_).substr(at, end - at));
            if (end == std::string::npos) break;
            at = end + 1;
        }
        return 1;
    }
    if (stored_.readLine(storedLine_)) {
        report.lessGenerated(page, count_);
        return 1;
    }
    report.comparedSame();
    return 0;
}

}  // namespace tarvo
