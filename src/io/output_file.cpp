#include "io/output_file.h"

#include <algorithm>

#include "io/wiki_in_stream.h"

namespace tarvo {

namespace {

// The stored DOT file holds exactly the lines of the text followed by one
// empty line (line ends of any kind): each piece of the text up to a "\n",
// and the piece after the last one, is a stored line, and nothing follows.
bool sameLines(const platform::Folder& folder, const WString& name, std::string_view text) {
    WikiInStream stored;
    stored.open(folder, name);
    if (!stored.good()) return false;
    std::string_view storedLine;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find('\n', at);
        if (!stored.readLine(storedLine) || storedLine != text.substr(at, end - at)) return false;
        if (end == std::string_view::npos) return !stored.readLine(storedLine);
        at = end + 1;
    }
}

}  // namespace

// ---- OutputFile ----

Refusal OutputFile::open(const platform::Folder& at, const WString& name, const ProtectedFiles& kept,
                         WrittenFiles& written, WrittenFiles::Entry mine, const platform::FileIdentity& atIdentity) {
    written_ = &written;
    mine_ = std::move(mine);
    const WString folderPath = platform::folderPart(name);
    base_ = name.substr(folderPath.size());
    folder_ = &at;
    // Counted before the file is looked at: a write of unknown place that
    // the look may have missed is one writtenMeanwhile() hears of.
    unplacedAtOpen_ = written.unplacedWrites();
    place_ = folderPath.empty() ? WrittenFiles::placeOf(atIdentity, base_) : 0;
    if (!folderPath.empty()) {
        if (!ownFolder_.open(at, folderPath)) {
            // Reported as what the whole name holds (a file in the place of
            // a folder is no regular file), else as a folder we cannot write.
            stored_ = platform::statusOf(at, name);
            const Refusal why = refusalOf(stored_, at, name, kept, &written, mine_, earlier_);
            return why != Refusal::None ? why : Refusal::Unwritable;
        }
        folder_ = &ownFolder_;
    }
    stored_ = platform::statusOf(*folder_, base_);
    if (const Refusal why = refusalOf(stored_, *folder_, base_, kept, &written, mine_, earlier_); why != Refusal::None)
        return why;
    const bool exists = stored_.kind == platform::FileKind::Regular;
    // A page is compared as it comes, a DOT file once it is whole.
    if (exists && (!mine_.page || storedFile_.open(*folder_, base_, stored_.identity))) {
        comparing_ = true;
        return Refusal::None;
    }
    return create() ? Refusal::None : Refusal::Unwritable;
}

// A replacement is made only where the system lets us write: an existing
// file that we may not write is left alone.
bool OutputFile::create() {
    if (stored_.kind == platform::FileKind::Regular && !platform::mayWrite(*folder_, base_)) return false;
    return file_.create(*folder_, base_);
}

// From the first difference on the page is written anew: the replacement
// starts with the stored bytes that matched.
bool OutputFile::diverge() {
    comparing_ = false;
    if (!create()) {
        createFailed_ = true;
        return false;
    }
    std::string block(64 * 1024, '\0');
    for (std::uint64_t at = 0; at < matched_;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), matched_ - at));
        const long got = storedFile_.readAt(at, block.data(), want);
        if (got != static_cast<long>(want) || !file_.writeRaw(std::string_view(block.data(), want))) {
            writeFailed_ = true;
            return false;
        }
        at += want;
    }
    storedFile_.close();
    return true;
}

void OutputFile::take(std::string_view text) {
    if (createFailed_ || writeFailed_) return;
    if (comparing_) {
        std::string_view bytes = text;
        if (platform::kTextLineEnd != "\n") {
            expanded_.clear();
            for (char c : text) {
                if (c == '\n') expanded_.append(platform::kTextLineEnd);
                else expanded_.push_back(c);
            }
            bytes = expanded_;
        }
        if (storedFile_.equalAt(matched_, bytes)) {
            matched_ += bytes.size();
            return;
        }
        if (!diverge()) return;
    }
    if (!file_.write(text)) writeFailed_ = true;
}

bool OutputFile::writtenMeanwhile() const {
    if (!folder_) return false;
    // The file seen then (which the run had not written, or open() would
    // have refused it) has been put in place or found unchanged since.
    if (written_->wroteIdentity(stored_.identity)) return true;
    // Otherwise only a file written at this place can be the one there now,
    // unless files of unknown place were written meanwhile: then the file
    // there is asked.
    if (place_ != 0 && written_->unplacedWrites() == unplacedAtOpen_) return written_->wrotePlace(place_);
    return written_->holds(platform::statusOf(*folder_, base_));
}

// The run's record learns of the file: the stored one left in place, or the
// one just put there.
OutputFile::Outcome OutputFile::recorded(Outcome outcome) {
    if (outcome == Outcome::Unchanged)
        written_->add(stored_.identity, stored_.changeTime, std::move(mine_), place_);
    else
        written_->add(file_.identity(), file_.changeTime(), std::move(mine_), place_);
    return outcome;
}

// Whatever happened, the file is done: every handle of it goes, so that the
// pages waiting for their turn hold no more than they must.
OutputFile::Outcome OutputFile::done(Outcome outcome) {
    storedFile_.close();
    file_.discard();
    ownFolder_.close();
    return outcome;
}

OutputFile::Outcome OutputFile::finish() { return done(finishPage()); }
OutputFile::Outcome OutputFile::storeDot(std::string_view text) { return done(storeDotText(text)); }
OutputFile::Outcome OutputFile::storePicture(std::string_view bytes) { return done(storePictureBytes(bytes)); }

OutputFile::Outcome OutputFile::finishPage() {
    if (comparing_) {
        if (matched_ == stored_.size && platform::touch(*folder_, base_, storedFile_, stored_.changeTime))
            return recorded(Outcome::Unchanged);
        diverge();
    }
    if (createFailed_) return Outcome::CantCreate;
    if (writeFailed_ || !file_.commit()) return Outcome::CantWrite;
    return recorded(Outcome::Written);
}

OutputFile::Outcome OutputFile::storeDotText(std::string_view text) {
    if (comparing_) {
        comparing_ = false;
        if (sameLines(*folder_, base_, text)) return recorded(Outcome::Unchanged);
        if (!create()) return Outcome::CantCreate;
    }
    if (!(file_.write(text) && file_.write("\n") && file_.commit())) return Outcome::CantWrite;
    return recorded(Outcome::Written);
}

OutputFile::Outcome OutputFile::storePictureBytes(std::string_view bytes) {
    if (comparing_) {
        if (bytes.size() == stored_.size && storedFile_.open(*folder_, base_, stored_.identity) &&
            storedFile_.equalAt(0, bytes) && platform::touch(*folder_, base_, storedFile_, stored_.changeTime))
            return recorded(Outcome::Unchanged);
        storedFile_.close();
        comparing_ = false;
        if (!create()) return Outcome::CantCreate;
    }
    if (!(file_.writeRaw(bytes) && file_.commit())) return Outcome::CantWrite;
    return recorded(Outcome::Written);
}

}  // namespace tarvo
