#pragma once
// Slots run through guarded(): an exception a handler raises is shown in the standard
// error box and the program runs on, without unwinding through Qt's own frames.
#include "platform/Application.h"
#include <type_traits>
#include <utility>

namespace ostrel {

template <class F> auto guarded(F handler) {
    return [handler = std::move(handler)](auto&&... args) {
        try {
            // Signals may carry more arguments than the handler takes (triggered(bool)).
            if constexpr (std::is_invocable_v<const F&, decltype(args)...>)
                handler(std::forward<decltype(args)>(args)...);
            else
                handler();
        } catch (...) {
            Application::showCurrentException();
        }
    };
}

} // namespace ostrel
