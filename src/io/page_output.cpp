#include "io/page_output.h"

namespace tarvo {

void PageOutput::flush() {
    if (sink_ && at_ != text_->data()) {
        sink_->take(std::string_view(text_->data(), static_cast<std::size_t>(at_ - text_->data())));
        startBlock();
    }
}

void PageOutput::startBlock() {
    if (text_->size() < kBlock) text_->resize(kBlock);
    at_ = text_->data();
    room_ = kBlock;
}

// Bytes that fill the block: the block goes to the sink with them at its
// end, as one piece. A long line goes straight to the sink, not through a
// copy. Output kept in memory grows its string.
void PageOutput::writeMore(std::string_view bytes) {
    if (!sink_) {
        text_->append(bytes);
        return;
    }
    if (bytes.size() >= kBlock) {
        flush();
        sink_->take(bytes);
        return;
    }
    const std::size_t gathered = static_cast<std::size_t>(at_ - text_->data());
    if (text_->size() < gathered + bytes.size()) text_->resize(gathered + bytes.size());
    std::memcpy(text_->data() + gathered, bytes.data(), bytes.size());
    sink_->take(std::string_view(text_->data(), gathered + bytes.size()));
    startBlock();
}

}  // namespace tarvo
