#pragma once
// Slots run through guarded(): an exception a handler raises is shown in the standard
// error box and the program runs on, without unwinding through Qt's own frames.
#include "platform/Application.h"
#include <type_traits>
#include <utility>

namespace ostrel {

// Calls `h` without the signal's arguments; a call that depends on them is checked only
// where it is used.
template <class H, class... A> void callWithoutArguments(const H& h, A&&...) {
    h();
}

template <class F> auto guarded(F handler) {
    // Constrained, so that Qt's probe for the number of arguments a slot takes sees only
    // the calls that compile.
    return [handler = std::move(handler)](auto&&... args) requires(
        std::is_invocable_v<const F&, decltype(args)...> || std::is_invocable_v<const F&>) {
        try {
            // Signals may carry more arguments than the handler takes (triggered(bool)).
            if constexpr (std::is_invocable_v<const F&, decltype(args)...>)
                handler(std::forward<decltype(args)>(args)...);
            else
                callWithoutArguments(handler, args...);
        } catch (...) {
            Application::showCurrentException();
        }
    };
}

} // namespace ostrel
