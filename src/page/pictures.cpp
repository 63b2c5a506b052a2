#include "page/pictures.h"

#include <algorithm>
#include <cstdint>

#include "text/ascii.h"
#include "text/utf.h"

namespace tarvo {

namespace {

// A picture larger than this is not taken: dot was fed something absurd.
constexpr std::size_t kPictureLimit = std::size_t(256) << 20;

// A name whose first component holds a colon is read by a browser as an
// address with a scheme ("https:", "javascript:"), not as a file beside
// the page.
bool hasScheme(std::u16string_view name) {
    const std::size_t colon = name.find(u':');
    return colon != std::u16string_view::npos && colon < name.find_first_of(u"/\\");
}

bool staysInside(std::u16string_view name) { return !platform::escapesDirectory(name) && !hasScheme(name); }

// What dot wrote starts as an SVG document does (after a byte-order mark and
// blanks, a tag) and holds an svg element: not nothing, not an error text.
bool isSvgDocument(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos || text[start] != '<') return false;
    for (std::size_t at = text.find('<', start); at != std::string_view::npos; at = text.find('<', at + 1))
        if (equalsNoCase(text.substr(at + 1, 3), "svg")) return true;
    return false;
}

// A DOT path as dot's argument: never taken for an option.
WString dotArgument(const WString& path) { return !path.empty() && path[0] == u'-' ? u"./" + path : path; }

}  // namespace

bool picturePrefixStaysInside(std::string_view genPrefix) {
    WString prefix;
    appendUtf8AsUtf16(prefix, static_cast<long>(genPrefix.size()), genPrefix.data());
    return staysInside(prefix);
}

Pictures::Pictures(const PictureOptions& options, bool testMode, platform::NativePath program,
                   WrittenFiles& written)
    : options_(options),
      testMode_(testMode),
      program_(std::move(program)),
      written_(written),
      jobs_(std::max(1u, options.jobs)) {}

Pictures::~Pictures() { workers_.stop(mutex_, queued_); }

void Pictures::keep(std::size_t order, PictureTrouble trouble) {
    std::lock_guard<std::mutex> lock(mutex_);
    troubles_.emplace_back(order, std::move(trouble));
}

void Pictures::add(const DiagramOnPage& d) {
    std::size_t order;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // The same picture again (a page that shows a diagram twice) is made once.
        if (!seen_.insert({d.pageFolderIdentity, d.picture}).second) return;
        order = met_++;
    }
    const WString shown = d.pageFolderPath + d.picture;
    using Kind = PictureTrouble::Kind;
    auto trouble = [&](Kind kind, Refusal why = Refusal::None, WString earlier = {}) {
        keep(order, PictureTrouble{kind, shown, d.source, why, std::move(earlier), {}});
    };
    if (!staysInside(d.picture)) return trouble(Kind::Refused, Refusal::Outside);
    if (!d.pageFolder) return trouble(testMode_ ? Kind::OutOfDate : Kind::Refused, Refusal::Unwritable);

    const WString folderPath = platform::folderPart(d.picture);
    const WString name = d.picture.substr(folderPath.size());
    platform::Folder folder;
    platform::FileStatus stored;
    if (folder.openBeneath(*d.pageFolder, folderPath)) stored = platform::statusOf(folder, name);
    // What the run wrote is asked when the picture is written.
    if (!testMode_) {
        WrittenFiles::Entry earlier;
        if (const Refusal why = refusalOf(stored, folder, name, *d.kept, nullptr, {}, earlier); why != Refusal::None)
            return trouble(Kind::Refused, why);
    }

    // Current: a regular file not older than a DOT file this run has not written.
    const platform::FileIdentity dot = platform::identify(*d.dotFolder, d.dotName);
    bool current;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (d.dotWritten) dotsWritten_.insert(dot);
        current = !d.dotWritten && !dotsWritten_.count(dot);
    }
    std::int64_t pictureTime = 0, dotTime = 0;
    current = current && stored.kind == platform::FileKind::Regular &&
              platform::modificationTime(folder, name, pictureTime) &&
              platform::modificationTime(*d.dotFolder, d.dotName, dotTime) && pictureTime >= dotTime;
    if (current) return;
    if (testMode_) return trouble(Kind::OutOfDate);

    Job job{order, d.pageFolder, d.picture, shown, d.source, d.dotPath, d.kept->source, d.kept->templateFile,
            d.kept->walked};
    std::unique_lock<std::mutex> lock(mutex_);
    roomMade_.wait(lock, [&] { return queue_.size() < 4 * jobs_ + 16; });
    queue_.push_back(std::move(job));
    if (workers_.size() < jobs_ && !workers_.start([this] { work(); }) && workers_.size() == 0) {
        // No thread to be had: this one renders.
        Job now = std::move(queue_.back());
        queue_.pop_back();
        lock.unlock();
        render(now);
        return;
    }
    lock.unlock();
    queued_.notify_one();
}

void Pictures::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, [&] { return workers_.closing() || !queue_.empty(); });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        roomMade_.notify_one();
        render(job);
    }
}

void Pictures::render(Job& job) {
    using Kind = PictureTrouble::Kind;
    PictureTrouble trouble{Kind::NotRendered, job.shown, job.source, Refusal::None, {}, {}};
    trouble.process = platform::runProcess(program_, {u"-Tsvg", dotArgument(job.dotPath)}, options_.timeoutSeconds,
                                           kPictureLimit);
    if (trouble.process.end != platform::ProcessResult::End::Exited || trouble.process.code != 0) {
        trouble.process.out.clear();
        return keep(job.order, std::move(trouble));
    }
    const std::string picture = std::move(trouble.process.out);
    if (!isSvgDocument(picture)) {
        trouble.kind = Kind::NoPicture;
        return keep(job.order, std::move(trouble));
    }
    trouble.kind = Kind::Refused;
    const WString folderPath = platform::folderPart(job.picture);
    platform::Folder folder;
    if (!platform::makeFoldersBeneath(*job.pageFolder, folderPath, folder)) {
        trouble.why = Refusal::Unwritable;
        return keep(job.order, std::move(trouble));
    }
    OutputFile file;
    trouble.why = file.open(folder, job.picture.substr(folderPath.size()),
                            ProtectedFiles{job.sourceFile, job.templateFile, nullptr, job.walked}, written_,
                            {false, job.source, {}});
    if (trouble.why != Refusal::None) {
        trouble.earlierSource = file.earlierSource();
        return keep(job.order, std::move(trouble));
    }
    switch (file.storePicture(picture)) {
        case OutputFile::Outcome::Written:
        case OutputFile::Outcome::Unchanged: return;
        case OutputFile::Outcome::CantCreate: trouble.why = Refusal::Unwritable; return keep(job.order, std::move(trouble));
        case OutputFile::Outcome::CantWrite: trouble.kind = Kind::NotWritten; return keep(job.order, std::move(trouble));
    }
}

std::vector<PictureTrouble> Pictures::finish() {
    workers_.stop(mutex_, queued_);
    std::stable_sort(troubles_.begin(), troubles_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<PictureTrouble> troubles;
    for (auto& [order, trouble] : troubles_) troubles.push_back(std::move(trouble));
    troubles_.clear();
    return troubles;
}

}  // namespace tarvo
