#include "page/compare_mode.h"

#include <algorithm>

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
        // Of the differing line no more is kept than a message shows.
        if (differs_) {
            rest_.append(piece.substr(0, Verdict::kShown + 1 - std::min(rest_.size(), Verdict::kShown + 1)));
        } else if (storedLine_.substr(matched_, piece.size()) == piece) {
            matched_ += piece.size();
        } else {
            differs_ = true;
            rest_.assign(piece.substr(0, Verdict::kShown + 1));
        }
        if (end == std::string_view::npos) return;
        lineEnds();
        bytes.remove_prefix(end + 1);
    }
}

namespace {

// A line as a message shows it: at most Verdict::kShown bytes, then "...".
std::string shown(std::string_view start, std::string_view rest = {}) {
    std::string line(start.substr(0, Verdict::kShown));
    line.append(rest.substr(0, Verdict::kShown - line.size()));
    if (start.size() + rest.size() > Verdict::kShown) line += "...";
    return line;
}

}  // namespace

Verdict PageComparison::finish() {
    // A last line without its line end counts as a line.
    if (inLine_) lineEnds();
    Verdict v;
    v.line = count_;
    if (differs_) {
        v.kind = Verdict::Kind::Differs;
        v.stored = shown(storedLine_);
        v.generated = shown(storedLine_.substr(0, matched_), rest_);
    } else if (storedDone_) {
        v.kind = Verdict::Kind::TooMuchGenerated;
        for (std::size_t at = 0; at < extra_.size();) {
            const std::size_t end = extra_.find('\n', at);
            v.extra.push_back(shown(std::string_view(extra_).substr(at, end - at)));
            if (end == std::string::npos) break;
            at = end + 1;
        }
    } else if (stored_.readLine(storedLine_)) {
        v.kind = Verdict::Kind::LessGenerated;
    }
    return v;
}

}  // namespace tarvo
