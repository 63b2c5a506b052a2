// The byte output of one page: collected in memory, or passed on to a sink
// (the page's file, or the comparison with the stored page) in large blocks.
#pragma once

#include <cstddef>
#include <cstring>
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
    explicit PageOutput(ByteSink& sink) : sink_(&sink) { startBlock(); }
    // The same, gathering in block: pages made one after another share its
    // memory.
    PageOutput(ByteSink& sink, std::string& block) : sink_(&sink), text_(&block) { startBlock(); }
    // Output kept in memory, in text (emptied first).
    explicit PageOutput(std::string& text) : text_(&text) { text.clear(); }
    PageOutput(const PageOutput&) = delete;
    PageOutput& operator=(const PageOutput&) = delete;

    // Bytes that leave room in the block are copied in place: the common
    // case, a few bytes, costs no more than the copy.
    void write(std::string_view bytes) {
        if (bytes.size() < room_) {
            // (An empty view may have no address to copy from.)
            if (!bytes.empty()) std::memcpy(at_, bytes.data(), bytes.size());
            at_ += bytes.size();
            room_ -= bytes.size();
            return;
        }
        writeMore(bytes);
    }
    void write(char c) { write(std::string_view(&c, 1)); }
    // Passes what has gathered to the sink.
    void flush();
    // Everything written so far, when the output is kept in memory.
    const std::string& text() const { return *text_; }

private:
    static constexpr std::size_t kBlock = 64 * 1024;

    // With a sink, the block is a string of at least kBlock bytes, written
    // from its start; its size is not what has gathered (at_ says that).
    void startBlock();
    // Bytes that fill the block, or output kept in memory.
    void writeMore(std::string_view bytes);

    ByteSink* sink_ = nullptr;
    std::string own_;
    std::string* text_ = &own_;
    char* at_ = nullptr;    // where the next byte goes, with a sink
    std::size_t room_ = 0;  // bytes that fit before the block is full (0 without a sink)
};

}  // namespace tarvo
