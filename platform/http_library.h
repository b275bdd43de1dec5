// The run-time binding of an HTTP client library, shared by the backends that load their
// library instead of linking it. The binding is empty at start. An attempt loads the
// library by the first of its file names that the platform finds and looks up every
// function in order; at the first one missing it stops (the rest are not looked up) and
// stays incomplete, so the next attempt starts again from the loading. Once complete it
// stays so, and the library stays loaded, for the rest of the run.
#pragma once

#include "platform/http_client.h"
#include "platform/machine.h"

#include <optional>
#include <span>
#include <vector>

// One function of the library, and the step that needs it.
struct HttpFunction {
    const char* name;
    HttpStep step;
};

class HttpLibrary {
  public:
    enum class State { Empty, Incomplete, Complete };

    // Libraries are loaded through `machine`.
    HttpLibrary(Machine& machine, std::span<const char* const> files,
                std::span<const HttpFunction> functions)
        : machine_(machine), files_(files), functions_(functions) {}

    // Binds unless complete. Nothing when the functions are ready; otherwise the outcome
    // that names what is missing.
    std::optional<HttpOutcome> bind();
    // The address of functions()[i]; only after a bind() that returned nothing.
    void* address(std::size_t i) const { return addresses_.at(i); }
    State state() const { return state_; }

  private:
    Machine& machine_;
    std::span<const char* const> files_;
    std::span<const HttpFunction> functions_;
    State state_ = State::Empty;
    std::vector<void*> addresses_;
};
