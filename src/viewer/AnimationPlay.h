#pragma once
// The animation's pace and its step through the list, apart from the window.

namespace ostrel {

// The timer interval for `fps` pictures a second: 1000 / fps ms, rounded to the nearest
// integer with halves to the even neighbour (16 fps -> 62 ms).
int frameInterval(int fps);

// What a tick does at play position `position` of a list of `count` entries.
enum class PlayStep {
    Show,   // show the entry at the position, then advance
    Rewind, // past the end with looping: back to the first entry, nothing shown this tick
    Finish, // past the end without looping: the animation stops
};
PlayStep playStep(int position, int count, bool loop);

} // namespace ostrel
