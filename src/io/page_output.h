// The byte output of one page: collected in memory, or passed on to a sink
// (the page's file, or the comparison with the stored page) in large blocks.
#pragma once

#include <string>
#include <string_view>

namespace tarvo {

// Where a page's bytes go once a block has gathered. Failures are the
// sink's to remember and report when the page is finished.
class ByteSink {
public:
    virtual void take(std::string_view bytes) = 0;

protected:
    ~ByteSink() = default;
};

class PageOutput {
public:
    PageOutput() = default;
    // Output that goes to sink once more than a block has gathered.
    explicit PageOutput(ByteSink& sink) : sink_(&sink) {}
    // The same, gathering in block (emptied first): pages made one after
    // another share its memory.
    PageOutput(ByteSink& sink, std::string& block) : sink_(&sink), text_(&block) { block.clear(); }
    // Output kept in memory, in text (emptied first).
    explicit PageOutput(std::string& text) : text_(&text) { text.clear(); }
    PageOutput(const PageOutput&) = delete;
    PageOutput& operator=(const PageOutput&) = delete;

    void write(std::string_view bytes) {
        if (sink_ && bytes.size() >= kBlock) {
            // A long line goes straight to the sink, not through a copy.
            flush();
            sink_->take(bytes);
            return;
        }
        text_->append(bytes);
        if (sink_ && text_->size() >= kBlock) flush();
    }
    void write(char c) {
        text_->push_back(c);
        if (sink_ && text_->size() >= kBlock) flush();
    }
    // Passes what has gathered to the sink.
    void flush() {
        if (sink_ && !text_->empty()) {
            sink_->take(*text_);
            text_->clear();
        }
    }
    // Everything written so far, when the output is kept in memory.
    const std::string& text() const { return *text_; }

private:
    static constexpr std::size_t kBlock = 64 * 1024;
    ByteSink* sink_ = nullptr;
    std::string own_;
    std::string* text_ = &own_;
};

}  // namespace tarvo
