// Feeds arbitrary bytes to the bitmap reader: it must refuse them with EBitmapError or
// decode them, never crash, read out of bounds or allocate for sizes the data cannot hold.
#include "picture/Bitmap.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const QImage image = ostrel::bitmap::decode(
            QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
        if (!image.isNull()) {
            // What was decoded must be whole: it is written back and read again.
            const QImage again = ostrel::bitmap::decode(ostrel::bitmap::encode(image));
            if (again != image) __builtin_trap();
        }
    } catch (const ostrel::EBitmapError&) {
    }
    return 0;
}
