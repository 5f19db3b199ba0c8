#include "viewer/AnimationPlay.h"

namespace ostrel {

int frameInterval(int fps) {
    const int whole = 1000 / fps, rest = 1000 % fps;
    if (2 * rest > fps || (2 * rest == fps && whole % 2 != 0)) return whole + 1;
    return whole;
}

PlayStep playStep(int position, int count, bool loop) {
    if (position < count) return PlayStep::Show;
    return loop ? PlayStep::Rewind : PlayStep::Finish;
}

} // namespace ostrel
