// The pictures of the diagrams (--svg). Graphviz's dot makes each picture
// from its DOT file, one process per diagram, on threads of their own while
// the pages go on being converted; what dot prints is written through the
// one writer (io/output_file.h), into the page's folder only. A picture is
// made when its DOT file was written in this run, or when it is missing or
// older than its DOT file; otherwise it is left alone. In test mode nothing
// is made: a picture that would be is reported as out of date.
//
// Nothing is said while pages are converted: what went wrong is kept and
// handed over after the last page, in the order the diagrams were met.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "io/output_file.h"
#include "page/outcome.h"
#include "page/threads.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace tarvo {

struct PictureOptions {
    bool make = false;           // make the pictures
    WString program = u"dot";    // the dot program, a path or a name looked for on PATH
    double timeoutSeconds = 30;  // a rendering that takes longer is stopped
    unsigned jobs = 1;           // renderings at once
};

// True when pictures named with this prefix stay inside the page's folder:
// not absolute, no "..", no scheme such as "https:" in front.
bool picturePrefixStaysInside(std::string_view genPrefix);

// A diagram whose DOT file holds its text, as the page that shows it hands
// it over. The pointers are used only until Pictures::add returns.
struct DiagramOnPage {
    std::shared_ptr<const platform::Folder> pageFolder;  // null: it could not be opened
    platform::FileIdentity pageFolderIdentity;
    WString pageFolderPath;  // as messages show it: the folder part of the page's name
    WString picture;         // genPrefix + name + ".svg", relative to the page's folder
    WString source;          // the page's source as its console line shows it
    const ProtectedFiles* kept = nullptr;
    const platform::Folder* dotFolder = nullptr;  // the DOT file: its folder,
    WString dotName;                              // its name there,
    WString dotPath;                              // and its path from the current folder
    bool dotWritten = false;                      // the page has just written it
};

class Pictures {
public:
    Pictures(const PictureOptions& options, bool testMode, platform::NativePath program, WrittenFiles& written);
    ~Pictures();
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;

    // Looks at the diagram's picture and queues its rendering when it is
    // needed (waiting while many are queued already).
    void add(const DiagramOnPage& diagram);
    // Waits for every rendering; what went wrong, in the order of the
    // diagrams.
    std::vector<PictureTrouble> finish();

private:
    struct Job {
        std::size_t order = 0;
        std::shared_ptr<const platform::Folder> pageFolder;
        WString picture, shown, source, dotPath;
        platform::FileIdentity sourceFile, templateFile;
        const SourceRule* walked = nullptr;  // the run's, which outlives its pictures
    };

    void work();
    void render(Job& job);
    void keep(std::size_t order, PictureTrouble trouble);

    const PictureOptions options_;
    const bool testMode_;
    const platform::NativePath program_;
    WrittenFiles& written_;
    const std::size_t jobs_;

    std::mutex mutex_;
    std::condition_variable queued_, roomMade_;
    std::deque<Job> queue_;
    Threads workers_;
    std::size_t met_ = 0;                                        // diagrams met so far
    std::set<std::pair<platform::FileIdentity, WString>> seen_;  // pictures looked at (page folder, name)
    std::set<platform::FileIdentity> dotsWritten_;               // DOT files written in this run
    std::vector<std::pair<std::size_t, PictureTrouble>> troubles_;  // by the order of their diagrams
};

}  // namespace tarvo
