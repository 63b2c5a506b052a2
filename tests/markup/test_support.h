// Runs the markup translator on page text held in memory: the body through a
// real source file and WikiInStream, single texts through formatInline.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "cli/run_context.h"
#include "markup/markup.h"
#include "page/page_output.h"
#include "page/wiki_in_stream.h"

namespace tarvo::markup_test {

// A source file under the temporary directory, removed again at scope end.
class TempSource {
public:
    explicit TempSource(std::string_view content) {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("tarvo_markup_" + std::to_string(random()) + "_" + std::to_string(random()) + ".txt");
        std::ofstream file(path_, std::ios::binary);
        file.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    ~TempSource() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempSource(const TempSource&) = delete;
    TempSource& operator=(const TempSource&) = delete;
    WString name() const { return widen(path_.string()); }

private:
    std::filesystem::path path_;
};

// The body convertBody writes for the source text, with the given run state.
inline std::string body(RunContext& ctx, std::string_view source) {
    TempSource file(source);
    WikiInStream in;
    in.open(file.name());
    EXPECT_TRUE(in.isOpen());
    PageOutput out;
    convertBody(ctx, in, out);
    return out.text();
}

inline std::string body(std::string_view source, ConvertOptions options = {}) {
    RunContext ctx;
    ctx.options = std::move(options);
    return body(ctx, source);
}

// formatInline on one text; what the formatter wrote to the page itself (ahead
// of the text) is appended to *written.
inline std::string inlineText(RunContext& ctx, std::string text, std::string* written = nullptr) {
    PageOutput out;
    formatInline(ctx, out, text);
    if (written) *written += out.text();
    return text;
}

// With a fresh state.
inline std::string inlineText(std::string text) {
    RunContext ctx;
    return inlineText(ctx, std::move(text));
}

inline std::string repeat(std::string_view piece, std::size_t times) {
    std::string all;
    all.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) all += piece;
    return all;
}

}  // namespace tarvo::markup_test
