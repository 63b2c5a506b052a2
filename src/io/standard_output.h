// A page's bytes onto the process's standard output (the "-" output).
#pragma once

#include <string_view>

#include "io/page_output.h"
#include "platform/platform.h"

namespace tarvo {

class StandardOutput final : public ByteSink {
public:
    void take(std::string_view bytes) override { ok_ = platform::writeOut(bytes) && ok_; }
    // Every byte went out: a failed write shows once the page is done.
    bool ok() const { return ok_; }

private:
    bool ok_ = true;
};

}  // namespace tarvo
