// The Windows system headers as this layer takes them: without the rarely
// used parts and without the min/max macros, and without the ReplaceFile
// macro, whose name is one of our classes (the system call is ReplaceFileW).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef ReplaceFile
