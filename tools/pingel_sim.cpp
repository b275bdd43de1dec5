// pingel-sim: plays Pingel headless and deterministically from the command line, for
// scripts and for looking at frames. See sim.h, and --help for the interface.
#include "tools/sim.h"

#include "backends/headless/headless.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    sim::Options options;
    std::string error;
    if (!sim::parseArguments(args, options, error)) {
        std::fprintf(stderr, "pingel-sim: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(sim::usage(), stdout);
        return 0;
    }
    options.programFile = runningProgramPath();
    return sim::run(options, stdout, stderr);
}
