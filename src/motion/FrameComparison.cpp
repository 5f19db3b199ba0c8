#include "motion/FrameComparison.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ostrel {
namespace {

// The bytes of one row. The total is kept in 64 bits and cut to 32 at the very end:
// addition modulo 2^64 followed by truncation is the same as adding modulo 2^32 all
// along, so the order in which bytes are added does not matter.
quint64 rowSum(const uchar* p, qsizetype n) {
    quint64 total = 0;
    qsizetype i = 0;
#if defined(__SSE2__)
    // psadbw against zero adds 8 bytes into each 64-bit half; four independent
    // accumulators keep the adder busy while the loads are in flight.
    const __m128i zero = _mm_setzero_si128();
    __m128i a0 = zero, a1 = zero, a2 = zero, a3 = zero;
    for (; i + 64 <= n; i += 64) {
        const auto* v = reinterpret_cast<const __m128i*>(p + i);
        a0 = _mm_add_epi64(a0, _mm_sad_epu8(_mm_loadu_si128(v), zero));
        a1 = _mm_add_epi64(a1, _mm_sad_epu8(_mm_loadu_si128(v + 1), zero));
        a2 = _mm_add_epi64(a2, _mm_sad_epu8(_mm_loadu_si128(v + 2), zero));
        a3 = _mm_add_epi64(a3, _mm_sad_epu8(_mm_loadu_si128(v + 3), zero));
    }
    for (; i + 16 <= n; i += 16)
        a0 = _mm_add_epi64(
            a0, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), zero));
    const __m128i sum = _mm_add_epi64(_mm_add_epi64(a0, a1), _mm_add_epi64(a2, a3));
    quint64 halves[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(halves), sum);
    total = halves[0] + halves[1];
#endif
    for (; i < n; ++i)
        total += p[i];
    return total;
}

// Nearest integer, a value exactly halfway going to the even neighbour. Written out
// rather than left to the floating-point environment's rounding mode, which a library
// the program loads could have changed.
long double roundHalfEven(long double value) {
    const long double below = std::floor(value);
    const long double fraction = value - below; // exact for a binary floating-point value
    if (fraction > 0.5L) return below + 1;
    if (fraction < 0.5L) return below;
    return std::fmod(below, 2.0L) == 0 ? below : below + 1;
}

} // namespace

quint32 frameSum(const uchar* bgr, int width, int height, int bytesPerLine) {
    if (bgr == nullptr || width <= 0 || height <= 0) return 0;
    Q_ASSERT(qint64(bytesPerLine) >= qint64(width) * 3);
    const qsizetype rowBytes = qsizetype(width) * 3;
    quint64 total = 0;
    for (int y = 0; y < height; ++y)
        total += rowSum(bgr + qsizetype(y) * bytesPerLine, rowBytes);
    return quint32(total);
}

quint32 frameSum(const QImage& frame) {
    if (frame.isNull()) return 0;
    // The sum does not depend on the byte order within a pixel, so both 24-bit layouts
    // are read in place.
    if (frame.format() == QImage::Format_BGR888 || frame.format() == QImage::Format_RGB888)
        return frameSum(frame.constBits(), frame.width(), frame.height(),
                        int(frame.bytesPerLine()));
    const QImage converted = frame.convertToFormat(QImage::Format_BGR888);
    return frameSum(converted.constBits(), converted.width(), converted.height(),
                    int(converted.bytesPerLine()));
}

std::optional<int> similarity(quint32 reference, quint32 newSum) {
    if (reference == 0) return std::nullopt; // the reference is the divisor
    // The subtraction wraps in 32 bits and is read as a signed number; its magnitude is
    // taken in 64 bits so that the most negative reading keeps its true size (2^31).
    const auto signedDifference = static_cast<qint32>(newSum - reference);
    const long double difference = static_cast<long double>(std::llabs(signedDifference));
    // The 80-bit extended format decides on which side of a half some results fall
    // (for example 100 * (1 - 29 / 40)), so every step stays in long double.
    const long double value = 100.0L * (1.0L - difference / static_cast<long double>(reference));
    const long double rounded = roundHalfEven(value);
    if (!(rounded >= std::numeric_limits<int>::min() && rounded <= std::numeric_limits<int>::max()))
        return std::nullopt;
    return static_cast<int>(rounded);
}

bool isDetection(int similarity, int sensitivity, int treshold) {
    return similarity < sensitivity && similarity > treshold;
}

Comparison compareFrameSums(quint32 reference, quint32 newSum, int sensitivity, int treshold) {
    Comparison result;
    result.similarity = similarity(reference, newSum);
    result.detection =
        result.similarity.has_value() && isDetection(*result.similarity, sensitivity, treshold);
    return result;
}

} // namespace ostrel
