// Pieces of the platform seam that every POSIX system shares, for backends to call:
// run-time libraries, the program's own file, the processor type, and starting a helper
// program (the browser opener) without a shell and without waiting for it.
#pragma once

#include <string>

namespace posix {
void* loadLibrary(const std::string& name);
void* findFunction(void* library, const std::string& name);
std::string ownExecutablePath();
// 586 on x86 and x86-64 (what Windows reports for every Pentium and later), 0 elsewhere.
int processorType();

// Starts `program` (looked up in PATH) with the one argument `argument`, without a shell
// and without waiting; its standard input is /dev/null. An argument that starts with '-'
// is refused, so it can never be taken for an option. False if it could not be started.
bool launch(const std::string& program, const std::string& argument);
// Collects the helpers that have ended, so none is left a zombie; call it now and then.
void reapChildren();
// How many started helpers have not been collected yet.
int unreapedChildren();
} // namespace posix
