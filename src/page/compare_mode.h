// Test mode: the generated page is compared line by line with the page stored
// by an earlier run, and the first difference is reported.
#pragma once

#include "io/memory_text.h"
#include "io/wiki_in_stream.h"
#include "platform/platform.h"

namespace tarvo {

// 0 when the pages are the same line for line, otherwise 1 after the
// difference was reported.
int comparePage(WikiInStream& stored, MemoryText& generated, const WString& sourcePath, const WString& pageName);

}  // namespace tarvo
