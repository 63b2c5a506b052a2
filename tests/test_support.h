// What the unit tests share: scratch folders and whole-file reads and writes.
// Portable.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "io/wiki_in_stream.h"
#include "platform/platform.h"

namespace tarvo::test {

namespace fs = std::filesystem;

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A new directory under the system's temporary directory, removed with all it
// holds at scope end.
class TempDir {
public:
    TempDir() {
        std::random_device random;
        fs::path path;
        do path = fs::temp_directory_path() / ("tarvo-test-" + std::to_string(random()) + std::to_string(random()));
        while (!fs::create_directory(path));
        name = path.string();
        dir = name + "/";
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(name, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string name, dir;  // the directory, and the same with a trailing "/"
};

}  // namespace tarvo::test
