#pragma once
// The sentence status bar panel 0 shows while the mouse is over a main window control.
#include <QString>
#include <optional>

namespace ostrel {

enum class HintKind { Text, Clear, None };
struct Hint {
    HintKind kind = HintKind::None;
    QString text;
};

// Text for controls with a hint, Clear for the video, the group boxes and the panel under
// the video, None for everything else.
Hint mainWindowHint(const QString& objectName);

} // namespace ostrel
