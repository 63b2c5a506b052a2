#include "page/run.h"

#include <algorithm>
#include <set>

#include "page/link_check.h"
#include "page/page_name.h"
#include "page/page_workers.h"

namespace tarvo {

namespace {

bool endsWithSeparator(const WString& path) {
    return !path.empty() && WString(platform::kDirSeparators).find(path.back()) != WString::npos;
}

// How many pages and pictures are made at once, and how many pages may wait
// for their turn, so that the files they hold open stay under the process's
// limit (a run asks fewer threads of itself rather than fail). A worker
// making a page holds at most kWorkerFiles (the source, the template, the
// page's temporary, a DOT file's folder, temporary and stored text, a
// picture's folders), a page waiting for its turn kWaitingFiles (its
// temporary and the stored page it is compared with), a picture being made
// kPictureFiles (dot's pipes, the picture's folder and temporary); kReserve
// is for the console, the walk's folders and the run's own.
struct FileBudget {
    unsigned workers;
    unsigned pictures;
    std::size_t pagesWaiting;
};

FileBudget budgetFor(std::size_t limit, unsigned jobs) {
    constexpr std::size_t kReserve = 64, kWorkerFiles = 8, kWaitingFiles = 2, kPictureFiles = 10;
    const std::size_t room = limit > 2 * kReserve ? limit - kReserve : kReserve;
    FileBudget budget;
    // A quarter of the room for pictures, the rest for pages: each worker
    // with its own files and those of a few pages waiting.
    budget.pictures = static_cast<unsigned>(std::clamp<std::size_t>(room / 4 / kPictureFiles, 1, jobs));
    const std::size_t forPages = room - budget.pictures * kPictureFiles;
    budget.workers = static_cast<unsigned>(std::clamp<std::size_t>(forPages / (kWorkerFiles + 8 * kWaitingFiles), 1, jobs));
    budget.pagesWaiting = (forPages - budget.workers * kWorkerFiles) / kWaitingFiles;
    return budget;
}

}  // namespace

// The workers, doing the run's steps with each page.
class Run::Pages final : public PageWorkers::Steps {
public:
    Pages(Run& run, unsigned threads, std::size_t pagesWaiting)
        : run_(run), workers(*this, threads, run.options_.page.markup, pagesWaiting) {}

    bool prepare(QueuedPage& page, Workspace& space) override {
        const PageContext ctx = run_.contextOf(space);
        PageJob& job = page.job.emplace(page.source, run_.options_.output, run_.shared_, true);
        page.prepared = true;
        page.started = job.start(ctx);
        if (!page.started) page.made = job.make(ctx);
        return !page.started && !page.made;
    }

    bool conclude(QueuedPage& page, Workspace& space) override {
        if (!page.prepared) return true;  // dropped: an earlier page stopped the run
        PageJob& job = *page.job;
        if (!page.started && !page.made && job.overtaken()) {
            // An earlier page wrote this page's file meanwhile: what was made
            // is dropped, and the page converted as a run on one thread
            // meets it.
            PageJob again(page.source, run_.options_.output, run_.shared_, false);
            return run_.convertNow(again, space);
        }
        if (page.started) return run_.refuse(job, page.started);
        run_.report_.pageStarts(run_.options_.page.testMode, job.sourcePath(), job.pageName());
        if (page.made) {
            job.storeHeldDiagrams(run_.contextOf(space));
            run_.sayDiagramTroubles(job);
            return run_.stop(page.made);
        }
        return run_.conclude(job, space);
    }

    void batchConcluded() override { run_.report_.flush(); }

private:
    Run& run_;

public:
    PageWorkers workers;
};

namespace {

// The output argument is read without its blanks at either end.
RunOptions withOutputTrimmed(RunOptions options) {
    if (options.output) options.output = trimBlanks(*options.output);
    return options;
}

}  // namespace

Run::Run(RunOptions options, Report& report)
    : options_(withOutputTrimmed(std::move(options))), report_(report), space_(options_.page.markup) {}

Run::~Run() = default;

bool Run::start() {
    const PageOptions& page = options_.page;
    const FileBudget budget = budgetFor(platform::openFileLimit(), options_.jobs);
    // Lines nobody watches go out in large pieces rather than one at a time;
    // a message to standard error lets out the lines before it first.
    if (!report_.watched()) report_.gatherLines();
    // Pictures that cannot be made are said before anything is made.
    if (page.pictures.make) {
        if (!picturePrefixStaysInside(page.markup.genPrefix)) {
            report_.picturePrefixOutside(page.markup.genPrefix);
            return !(stopped_ = true);
        }
        platform::NativePath program;
        if (!page.testMode) {
            program = platform::findProgram(page.pictures.program);
            if (program.empty()) {
                report_.noDotProgram(page.pictures.program);
                return !(stopped_ = true);
            }
        }
        PictureOptions pictures = page.pictures;
        pictures.jobs = std::min(pictures.jobs, budget.pictures);
        pictures_ = std::make_unique<Pictures>(pictures, page.testMode, std::move(program), shared_.written);
        shared_.pictures = pictures_.get();
    }
    // The output folder and the work folder are made when missing, so that a
    // first run into a fresh folder needs no preparation. Nothing else is
    // ever created: not the folder of a page's own path, not a diagram's
    // sub-folder.
    if (options_.output) {
        const WString& output = *options_.output;
        if (endsWithSeparator(output)) {
            if (!page.testMode) platform::makeFolders(output);
            if (outputFolder_.open(platform::currentFolder(), output)) {
                shared_.outputFolder = &outputFolder_;
                shared_.outputFolderIdentity = platform::identify(outputFolder_, WString());
            }
        }
    }
    const WString work = platform::folderPart(page.workDir);
    if (!work.empty()) platform::makeFolders(work);
    if (work.empty() || workFolder_.open(platform::currentFolder(), work)) shared_.workFolder = &workFolder_;
    if (!page.templateName.empty()) shared_.templateFile = platform::identify(page.templateName);
    if (page.checkLinks) {
        links_ = std::make_unique<LinkCheck>(page.markup.headingIds, page.templateName, page.html5);
        shared_.links = links_.get();
    }
    workersWanted_ = budget.workers;
    pagesWaiting_ = budget.pagesWaiting;
    started_ = true;
    return true;
}

void Run::protectWalkedFiles(std::unique_ptr<SourceRule> walked) {
    walked_ = std::move(walked);
    shared_.walked = walked_.get();
}

bool Run::add(const SourceFile& source, std::shared_ptr<const platform::Folder> folder,
              std::shared_ptr<const std::vector<platform::FileIdentity>> siblings) {
    // The first page is made here, and the workers start with the second: a
    // run of one page starts no thread and hands its page to none.
    if (!pages_ && firstPageAdded_ && workersWanted_ > 1 && !stopped_) {
        pages_ = std::make_unique<Pages>(*this, workersWanted_, pagesWaiting_);
        if (pages_->workers.workers() == 0) pages_.reset();  // no thread to be had: pages are made here
        workersWanted_ = 1;
    }
    firstPageAdded_ = true;
    if (pages_) return pages_->workers.add(std::make_unique<QueuedPage>(source, std::move(folder), std::move(siblings)));
    if (stopped_) return false;
    PageJob job(source, options_.output, shared_, false);
    return convertNow(job, space_);
}

bool Run::addToStandardOutput(const std::optional<WString>& sourcePath) {
    PageJob job(sourcePath);
    return convertNow(job, space_);
}

bool Run::folderUnreadable(const WString& path) {
    if (pages_ ? !pages_->workers.drain() : stopped_) return false;
    report_.cantOpenFolder(path);
    failAtEnd_ = true;
    return true;
}

void Run::nothingMatches(const WString& pathPattern) {
    report_.noMatch(pathPattern);
    stopped_ = true;
}

// One page, all its steps at once.
bool Run::convertNow(PageJob& job, Workspace& space) {
    const PageContext ctx = contextOf(space);
    if (const Trouble trouble = job.start(ctx)) return refuse(job, trouble);
    report_.pageStarts(options_.page.testMode, job.sourcePath(), job.pageName());
    const Trouble made = job.make(ctx);
    sayDiagramTroubles(job);
    if (made) return stop(made);
    return conclude(job, space);
}

// The page's last step, in its turn: put in place or compared, and said.
bool Run::conclude(PageJob& job, Workspace& space) {
    const Trouble trouble = job.finish(contextOf(space));
    sayDiagramTroubles(job);
    if (trouble) return stop(trouble);
    if (const std::optional<Verdict>& verdict = job.verdict()) {
        report_.verdict(*verdict, job.sourcePath(), job.pageName());
        if (verdict->kind != Verdict::Kind::Same) return stop({});
        return true;
    }
    report_.pageDone();
    return true;
}

// A DOT file that could not be written fails the run once it is done.
void Run::sayDiagramTroubles(PageJob& job) {
    for (const Trouble& trouble : job.takeDiagramTroubles()) {
        report_.trouble(trouble);
        failAtEnd_ = true;
    }
}

// A page that does not start: a page that may not be written is said on the
// line of the source that wanted it; a source (or stored page) that cannot
// be opened has no page to name.
bool Run::refuse(PageJob& job, const Trouble& trouble) {
    if (trouble.kind == Trouble::Kind::CantCreate)
        report_.pageStarts(options_.page.testMode, job.sourcePath(), job.pageName());
    return stop(trouble);
}

bool Run::stop(const Trouble& trouble) {
    report_.trouble(trouble);
    stopped_ = true;
    return false;
}

int Run::finish() {
    if (pages_ && !pages_->workers.drain()) stopped_ = true;
    pages_.reset();
    if (pictures_) {
        const std::vector<PictureTrouble> troubles = pictures_->finish();
        if (!troubles.empty()) {
            report_.endOpenLine();
            failAtEnd_ = true;
        }
        for (const PictureTrouble& trouble : troubles) report_.picture(trouble, options_.page.pictures.timeoutSeconds);
    }
    // The links are checked once every page of the run is known; a run that
    // stopped early would find links to pages it never came to.
    if (!stopped_ && links_) {
        const std::vector<BrokenLink> broken = links_->broken();
        std::set<WString> pages;  // the template counts as one
        for (const BrokenLink& link : broken) {
            report_.brokenLink(link.source, link.target, link.folder);
            pages.insert(link.source);
            stopped_ = true;
        }
        if (!broken.empty()) report_.brokenLinksCounted(broken.size(), pages.size());
    }
    report_.flush();
    return stopped_ || failAtEnd_ ? 1 : 0;
}

}  // namespace tarvo
