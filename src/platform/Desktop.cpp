#include "platform/Desktop.h"
#include "platform/QtDesktop.h"

#include <atomic>

namespace ostrel {

namespace {

std::atomic<Desktop*> installed{nullptr};

Desktop& defaultDesktop() {
    // Created on first use, so a test that installs its own never builds the real one.
    static QtDesktop instance;
    return instance;
}

} // namespace

Desktop& desktop() {
    if (Desktop* d = installed.load()) return *d;
    return defaultDesktop();
}

Desktop* setDesktop(Desktop* d) {
    return installed.exchange(d);
}

} // namespace ostrel
