// Force-included into the unit tests of the Windows build: the one POSIX call
// that the shared tests use to make scratch directories.
#pragma once

#ifdef _WIN32
#include <direct.h>
#include <io.h>

#include <cerrno>
#include <cstring>

// Replaces the trailing "XXXXXX" with a unique part and makes the directory.
inline char* mkdtemp(char* pattern) {
    const std::size_t length = std::strlen(pattern);
    if (length < 6 || std::strcmp(pattern + length - 6, "XXXXXX") != 0) {
        errno = EINVAL;
        return nullptr;
    }
    char copy[1024];
    if (length >= sizeof copy) return nullptr;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::memcpy(copy, pattern, length + 1);
        if (_mktemp_s(copy, length + 1) != 0) return nullptr;
        if (_mkdir(copy) == 0) {
            std::memcpy(pattern, copy, length + 1);
            return pattern;
        }
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}
#endif
