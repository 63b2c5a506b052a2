#include "io/page_file.h"

#include <algorithm>
#include <cstring>

namespace tarvo {

bool PageFile::open(const platform::Folder& at, const WString& name) {
    folder_ = &at;
    name_ = name;
    if (stored_.open(at, name)) {
        comparing_ = true;
        return true;
    }
    return file_.create(at, name);
}

// From the first difference on the page is written anew: the replacement
// starts with the stored bytes that matched.
bool PageFile::diverge() {
    comparing_ = false;
    if (!file_.create(*folder_, name_)) {
        createFailed_ = true;
        return false;
    }
    std::string block(64 * 1024, '\0');
    for (std::uint64_t at = 0; at < matched_;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), matched_ - at));
        const long got = stored_.readAt(at, block.data(), want);
        if (got != static_cast<long>(want) || !file_.writeRaw(std::string_view(block.data(), want))) {
            writeFailed_ = true;
            return false;
        }
        at += want;
    }
    stored_.close();
    return true;
}

bool PageFile::write(std::string_view text) {
    if (createFailed_ || writeFailed_) return false;
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
        const bool same = stored_.equalAt(matched_, bytes);
        if (same) {
            matched_ += bytes.size();
            return true;
        }
        if (!diverge()) return false;
    }
    if (!file_.write(text)) writeFailed_ = true;
    return !writeFailed_;
}

PageFile::Result PageFile::finish() {
    if (comparing_) {
        char extra;
        const bool sameLength = stored_.readAt(matched_, &extra, 1) == 0;
        if (sameLength && platform::touch(*folder_, name_)) {
            stored_.close();
            return Result::Ok;
        }
        diverge();
    }
    if (createFailed_) return Result::CantCreate;
    if (writeFailed_ || !file_.commit()) return Result::CantWrite;
    return Result::Ok;
}

}  // namespace tarvo
