#include "page/pictures.h"

#include <algorithm>
#include <cstdint>
#include <system_error>

#include "page/page_converter.h"
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

// A DOT path as dot's argument: never taken for an option.
WString dotArgument(const WString& path) { return !path.empty() && path[0] == u'-' ? u"./" + path : path; }

Refusal refusalOfKind(platform::FileKind kind) {
    switch (kind) {
        case platform::FileKind::Link: return Refusal::Link;
        case platform::FileKind::Directory: return Refusal::Folder;
        case platform::FileKind::Other: return Refusal::NotRegular;
        case platform::FileKind::Missing:
        case platform::FileKind::Regular: break;
    }
    return Refusal::None;
}

// What a normal run refuses to put in place of the stored file, as far as
// the page's own files and the other sources of its folder go; the writer
// checks the rest when the picture is written.
Refusal refusalOf(const platform::FileStatus& stored, const KeptFiles& kept) {
    const platform::FileIdentity& id = stored.identity;
    if (id == kept.source) return Refusal::Source;
    if (id == kept.templateFile) return Refusal::Template;
    if (id.exists && kept.otherSources && std::binary_search(kept.otherSources->begin(), kept.otherSources->end(), id))
        return Refusal::OtherSource;
    return refusalOfKind(stored.kind);
}

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
      jobs_(options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency())) {}

Pictures::~Pictures() { stopWorkers(); }

void Pictures::keep(Trouble trouble) {
    std::lock_guard<std::mutex> lock(mutex_);
    troubles_.push_back(std::move(trouble));
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
    auto trouble = [&](Trouble::Kind kind, Refusal why = Refusal::None) {
        keep(Trouble{kind, order, shown, d.source, why, {}, {}});
    };
    if (!staysInside(d.picture)) return trouble(Trouble::Kind::Refused, Refusal::Outside);
    if (!d.pageFolder) return trouble(testMode_ ? Trouble::Kind::OutOfDate : Trouble::Kind::Refused, Refusal::Unwritable);

    const WString folderPath = platform::folderPart(d.picture);
    const WString name = d.picture.substr(folderPath.size());
    platform::Folder folder;
    platform::FileStatus stored;
    if (folder.openBeneath(*d.pageFolder, folderPath)) stored = platform::statusOf(folder, name);
    if (!testMode_) {
        if (const Refusal why = refusalOf(stored, *d.kept); why != Refusal::None)
            return trouble(Trouble::Kind::Refused, why);
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
    if (testMode_) return trouble(Trouble::Kind::OutOfDate);

    Job job{order, d.pageFolder, d.picture, shown, d.source, d.dotPath, d.kept->source, d.kept->templateFile};
    std::unique_lock<std::mutex> lock(mutex_);
    roomMade_.wait(lock, [&] { return queue_.size() < 4 * jobs_ + 16; });
    queue_.push_back(std::move(job));
    if (workers_.size() < jobs_) {
        try {
            workers_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            if (workers_.empty()) {
                // No thread to be had: this one renders.
                Job now = std::move(queue_.back());
                queue_.pop_back();
                lock.unlock();
                render(now);
                return;
            }
        }
    }
    lock.unlock();
    queued_.notify_one();
}

void Pictures::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, [&] { return closing_ || !queue_.empty(); });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        roomMade_.notify_one();
        render(job);
    }
}

void Pictures::render(Job& job) {
    Trouble trouble{Trouble::Kind::NotRendered, job.order, job.shown, job.source, Refusal::None, {}, {}};
    trouble.process = platform::runProcess(program_, {u"-Tsvg", dotArgument(job.dotPath)}, options_.timeoutSeconds,
                                           kPictureLimit);
    if (trouble.process.end != platform::ProcessResult::End::Exited || trouble.process.code != 0) {
        trouble.process.out.clear();
        return keep(std::move(trouble));
    }
    const std::string picture = std::move(trouble.process.out);
    trouble.kind = Trouble::Kind::Refused;
    const WString folderPath = platform::folderPart(job.picture);
    platform::Folder folder;
    if (!platform::makeFoldersBeneath(*job.pageFolder, folderPath, folder)) {
        trouble.why = Refusal::Unwritable;
        return keep(std::move(trouble));
    }
    OutputFile file;
    trouble.why = file.open(folder, job.picture.substr(folderPath.size()),
                            KeptFiles{job.sourceFile, job.templateFile, nullptr}, written_, {false, job.source, {}});
    if (trouble.why != Refusal::None) {
        trouble.earlierSource = file.earlierSource();
        return keep(std::move(trouble));
    }
    switch (file.storeBytes(picture)) {
        case OutputFile::Outcome::Written:
        case OutputFile::Outcome::Unchanged: return;
        case OutputFile::Outcome::CantCreate: trouble.why = Refusal::Unwritable; return keep(std::move(trouble));
        case OutputFile::Outcome::CantWrite: trouble.kind = Trouble::Kind::NotWritten; return keep(std::move(trouble));
    }
}

void Pictures::stopWorkers() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    queued_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
}

bool Pictures::finish(Report& report) {
    stopWorkers();
    std::sort(troubles_.begin(), troubles_.end(),
              [](const Trouble& a, const Trouble& b) { return a.order < b.order; });
    if (!troubles_.empty()) report.endOpenLine();
    for (const Trouble& t : troubles_) {
        switch (t.kind) {
            case Trouble::Kind::Refused: report.pictureRefused(t.picture, t.why, t.earlierSource); break;
            case Trouble::Kind::NotWritten: report.pictureNotWritten(t.picture); break;
            case Trouble::Kind::NotRendered:
                report.cantRender(t.picture, t.source, t.process, options_.timeoutSeconds);
                break;
            case Trouble::Kind::OutOfDate: report.pictureOutOfDate(t.picture); break;
        }
    }
    const bool fine = troubles_.empty();
    troubles_.clear();
    return fine;
}

// ---- the run ----

int startPictures(RunState& run, const PageOptions& options, Report& report) {
    const PictureOptions& pictures = options.pictures;
    if (!pictures.make) return 0;
    if (!picturePrefixStaysInside(options.markup.genPrefix)) {
        report.picturePrefixOutside(options.markup.genPrefix);
        return 1;
    }
    platform::NativePath program;
    if (!options.testMode) {
        program = platform::findProgram(pictures.program);
        if (program.empty()) {
            report.noDotProgram(pictures.program);
            return 1;
        }
    }
    run.pictures = std::make_unique<Pictures>(pictures, options.testMode, std::move(program), run.written);
    return 0;
}

void finishPictures(RunState& run, Report& report) {
    if (run.pictures && !run.pictures->finish(report)) run.failAtEnd = true;
}

}  // namespace tarvo
