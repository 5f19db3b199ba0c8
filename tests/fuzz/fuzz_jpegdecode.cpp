// Feeds arbitrary bytes to the JPEG decoder, at full size and scaled down to a size the
// first two bytes choose: it must refuse them or decode them, never crash, read out of
// bounds or allocate for sizes the data cannot hold.
#include "picture/PictureLoading.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    const QSize fitting(data[0] * 4, data[1] * 4);
    for (QSize target : {QSize(), fitting}) {
        const QImage image = ostrel::decodeJpeg(bytes, target);
        if (!image.isNull() && (image.width() > 16384 || image.height() > 16384)) __builtin_trap();
    }
    return 0;
}
