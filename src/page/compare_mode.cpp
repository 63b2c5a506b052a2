#include "page/compare_mode.h"

namespace tarvo {

void PageComparison::compareLine(std::string_view line) {
    if (differs_) return;
    if (!storedDone_ && !stored_.readLine(storedLine_)) storedDone_ = true;
    if (storedDone_) {
        extra_.append(line);
        extra_.push_back('\n');
        return;
    }
    ++count_;
    if (storedLine_ != line) {
        differs_ = true;
        generatedLine_.assign(line);
    }
}

void PageComparison::take(std::string_view bytes) {
    if (differs_) return;
    for (std::size_t end; (end = bytes.find('\n')) != std::string_view::npos;) {
        if (partial_.empty()) {
            compareLine(bytes.substr(0, end));
        } else {
            partial_.append(bytes.substr(0, end));
            compareLine(partial_);
            partial_.clear();
        }
        bytes.remove_prefix(end + 1);
    }
    partial_.append(bytes);
}

int PageComparison::finish(Report& report, const WString& source, const WString& page) {
    // A last line without its line end counts as a line.
    if (!partial_.empty()) compareLine(partial_);
    if (differs_) {
        report.difference(count_, source, page, storedLine_, generatedLine_);
        return 1;
    }
    if (storedDone_) {
        report.tooMuchGenerated(page, count_);
        for (std::size_t at = 0; at < extra_.size();) {
            const std::size_t end = extra_.find('\n', at);
            report.generatedLine(std::string_view(extra_).substr(at, end - at));
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
