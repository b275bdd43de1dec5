// The default of work kept responsive: where a backend has no other thread, it just runs.
#include "platform/window.h"

void Window::runResponsive(const std::function<void()>& work) {
    work();
}
