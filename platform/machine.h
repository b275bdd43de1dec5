// Facts about the program and the machine that a highscore carries, and the run-time
// libraries (the HTTP client's library is loaded when it is first needed).
#pragma once

#include <string>

class Machine {
  public:
    virtual ~Machine() = default;
    // The full path of the running program's own file, empty if unknown.
    virtual std::string ownExecutablePath() = 0;
    // The processor type in the numbering of the Windows system information: 386, 486,
    // 586, 4000 (MIPS R4000), 21064 (Alpha); anything else is unknown.
    virtual int processorType() = 0;
    // Run-time libraries; null when the library or the function is not there. Safe on any
    // thread.
    virtual void* loadLibrary(const std::string& name) = 0;
    virtual void* findFunction(void* library, const std::string& name) = 0;
};
