// A scratch directory for one fuzz process, removed when the process ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace tarvo::fuzz {

class Scratch {
public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarvo-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root = pattern;
        work = root + "/work/";
        std::filesystem::create_directory(work);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    // Removes the DOT files the last input stored, so they do not pile up.
    void emptyWork() const {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(work, ignored))
            std::filesystem::remove_all(entry.path(), ignored);
    }

    std::string root;
    std::string work;  // with a trailing "/"
};

}  // namespace tarvo::fuzz
