#pragma once
// The frame comparison of the motion check: a frame is reduced to one number, the sum of
// its colour bytes, and two sums are compared as a whole-number similarity percentage.
// A detection is a similarity strictly inside the window set by the Sensitivity and
// Treshold sliders. Everything here is pure; MotionDetector adds the frame grab.
#include <QImage>
#include <QtGlobal>
#include <optional>

namespace ostrel {

// Sum of bytes 2, 1 and 0 of every pixel of a 24-bit picture (blue, green, red), rows
// 0 to height - 1, `bytesPerLine` apart; padding after width * 3 bytes is not counted.
// The total wraps at 2^32 like the unsigned 32-bit value it is kept in. No rows or
// pixels give 0. `bytesPerLine` must be at least width * 3.
quint32 frameSum(const uchar* bgr, int width, int height, int bytesPerLine);
// The same for a picture: 24-bit formats are summed in place, others converted first.
quint32 frameSum(const QImage& frame);

// 100 * (1 - difference / reference) rounded to the nearest integer, halves to the even
// neighbour, computed in extended precision. The difference is the absolute value of
// (newSum - reference) done in 32 bits and read as a signed number. There is no
// similarity (nullopt) for a reference of 0, nor when the rounded value does not fit a
// signed 32-bit integer.
std::optional<int> similarity(quint32 reference, quint32 newSum);

// True when similarity < sensitivity and similarity > treshold.
bool isDetection(int similarity, int sensitivity, int treshold);

struct Comparison {
    std::optional<int> similarity; // nullopt: no similarity could be computed
    bool detection = false;        // never true without a similarity
};

Comparison compareFrameSums(quint32 reference, quint32 newSum, int sensitivity, int treshold);

} // namespace ostrel
