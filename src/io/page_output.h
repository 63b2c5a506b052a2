// The byte output of one page: collected in memory (test mode, or unit tests)
// or passed on to a file in large blocks.
#pragma once

#include <string>
#include <string_view>

#include "io/page_file.h"

namespace tarvo {

class PageOutput {
public:
    PageOutput() = default;
    // Output that goes to file once more than a block has gathered.
    explicit PageOutput(PageFile& file) : file_(&file) {}

    void write(std::string_view bytes) {
        if (file_ && bytes.size() >= kBlock) {
            // A long line goes straight to the file, not through a copy.
            flush();
            file_->write(bytes);
            return;
        }
        text_.append(bytes);
        if (file_ && text_.size() >= kBlock) flush();
    }
    void write(char c) {
        text_.push_back(c);
        if (file_ && text_.size() >= kBlock) flush();
    }
    // Passes what has gathered to the file. A failed write is the file's to
    // report (PageFile::finish).
    void flush() {
        if (file_ && !text_.empty()) {
            file_->write(text_);
            text_.clear();
        }
    }
    // Everything written so far, when the output is kept in memory.
    std::string& text() { return text_; }

private:
    static constexpr std::size_t kBlock = 64 * 1024;
    PageFile* file_ = nullptr;
    std::string text_;
};

}  // namespace tarvo
