// Pieces of the platform seam that every POSIX system shares, for backends to call:
// run-time libraries, the program's own file and the processor type.
#pragma once

#include <string>

namespace posix {
void* loadLibrary(const std::string& name);
void* findFunction(void* library, const std::string& name);
std::string ownExecutablePath();
// 586 on x86 and x86-64 (what Windows reports for every Pentium and later), 0 elsewhere.
int processorType();
} // namespace posix
