// The inline formatter's scan over one line. The line is kept in two parts:
// `done`, the translated text before the scan position, and the input, the
// text from the scan position on (from `next` to its end), read in place from
// the caller's text. A replacement appends to `done` and steps over input;
// text that must be scanned again is pushed back in front of `next` (the
// input then moves into a buffer of our own with room in front). Each step
// thus costs what it reads and writes, never a move of the whole rest of the
// line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "io/page_output.h"
#include "markup/markup.h"
#include "text/finder.h"

namespace tarvo {

// What the inline scan tells the block parser, which applies it to its own
// state: a tag inside the line opened or closed a preformatted block.
class BlockEvents {
public:
    // A block is open, which a "<pre" or "<source" tag inside the line may
    // close: the scan first writes out what it translated before the tag.
    virtual bool blockOpen() const = 0;
    // A "<pre" or "<source" tag opens a block here; the block parser closes
    // its open block unless that is preformatted. True when a preformatted
    // block was open already: the tag then adds nothing.
    virtual bool preOpened() = 0;
    // A "</pre" or "</source" tag closed the preformatted block.
    virtual void preClosed() = 0;

protected:
    ~BlockEvents() = default;
};

class InlineScan {
public:
    static constexpr std::size_t npos = std::string::npos;

    // Translated text may be handed to out before the scan ends (the caller
    // writes the result to out right after it, and nothing in between), so
    // that a long line never holds its whole translation.
    InlineScan(InlineContext& ctx, BlockEvents& events, PageEvents& page, PageOutput& out, std::string_view text);

    void run();
    std::string& result() { return done_; }

    // ---- used by the handlers ----
    const MarkupOptions& options() const { return ctx_.options; }
    InlineState& state() { return ctx_.state; }
    // Byte at offset k from the scan position; 0 past the end.
    char at(std::size_t k) const {
        return next_ + k < size_ ? data_[next_ + k] : '\0';
    }
    std::size_t left() const { return size_ - next_; }
    std::string_view rest() const { return std::string_view(data_ + next_, size_ - next_); }
    std::size_t position() const { return done_.size(); }
    void emit(std::string_view text) { done_.append(text); }
    void emit(char c) { done_.push_back(c); }
    void consume(std::size_t n) { next_ += n; }
    // Takes n bytes from the input into the translated text unchanged.
    void pass(std::size_t n) {
        done_.append(data_ + next_, n);
        next_ += n;
    }
    // Puts text in front of the scan position, to be scanned next.
    void pushBack(std::string_view text);
    // First occurrence of the finder's needle at or after offset k from the
    // scan position, as an offset from the scan position, or npos.
    std::size_t find(Finder& finder, std::size_t k) {
        const std::size_t found = finder.find(std::string_view(data_, size_), next_ + k);
        return found == npos ? npos : found - next_;
    }
    // Ends the scan; the rest of the input stays as it is.
    void stop() {
        pass(left());
    }
    std::string& scratch() { return ctx_.buffers.scratch; }
    // The translated text, for handlers that append to it in place.
    std::string& translated() { return done_; }
    // Where an attribute value is decoded (--safe).
    std::string& decoded() { return ctx_.buffers.decoded; }

    // Generated text that is scanned again. A link's translation is pushed
    // back in front of the scan position, so that markup in its label is
    // translated too: [[a|''b'']] becomes <a href="a.html"><i>b</i></a>. A
    // label may hold "[[" again ([[a|[[b|c]]]]), whose translation is pushed
    // back in its turn; past kMaxLinkNesting such levels a "[[" is left as
    // text, so that no line makes the scan insert text without end.
    static constexpr int kMaxLinkNesting = 2;
    // How many inserted links the scan position lies in.
    int linkDepthHere() const;
    void markLinkRegion(std::size_t resumeFromEnd, int depth);

    // The closers looked for ahead. The input only ever changes in front of
    // the scan position, so what they found stays true (see pushBack).
    Finder closeBrackets{"]]"};
    Finder closeAngle{">"};
    Finder closeBracket{"]"};

private:
    void commentStep();
    void rawStep();
    void normalStep();
    void angle();
    bool passThrough(std::string_view text);
    void safeTag(int tag);
    void preOpen();
    void safePreOpen(bool alreadyOpen);
    void safePreClose();
    void emphasis();
    void contentsWord();
    bool diagramOpen();

    InlineContext& ctx_;
    BlockEvents& events_;
    PageEvents& page_;
    PageOutput& out_;
    std::string& done_;
    // The input: the caller's text until something is pushed back, then our
    // own buffer `input_`, which has room in front for further push-backs.
    const char* data_;
    std::size_t size_;
    bool ownInput_ = false;
    std::unique_ptr<char[]>& input_;
    std::size_t next_ = 0;
    std::size_t commentStart_ = 0;
    std::size_t linkRegionEndFromEnd_ = 0;
    int linkRegionDepth_ = 0;
    // With --safe: a tag ran to the end of the text, as a browser would read
    // it, so every "<" after it is text (and no tag is read twice).
    bool tagsEnded_ = false;
};

// Translates text, for a caller that writes the translation returned to out
// right after: the start of a long translation may be handed to out during
// the call, and what is returned is only the rest. It lies in the context's
// buffers, valid until the next scan. The first `plain` bytes are known to
// hold nothing to translate (see plainLength).
std::string_view formatInline(InlineContext& ctx, BlockEvents& events, PageEvents& page, PageOutput& out,
                              std::string_view text, std::size_t plain);

// Handlers of links, images and URLs, called by the scan.
// At "[": a double-bracket link or image, or a bracketed URL.
void formatBracket(InlineScan& scan);
// At "h" or "H": a bare URL.
void formatBareUrl(InlineScan& scan);

}  // namespace tarvo
