// Feeds arbitrary bytes to the texture decoder. Files with the Radiance
// signature take the float path, everything else the 8-bit path, so one
// target covers both decoder entry points and every compiled-in format.
#include "ImageLib/Decode.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ImageLib::DecodedImage img;
    if (ImageLib::decodeImage(data, size, img)) {
        // Every decoded byte feeds an index, so that ASan sees a short buffer
        // and valgrind a byte the decoder never wrote.
        const size_t bytes = size_t(img.width) * img.height * (img.depth == 32 ? 16 : 4);
        const auto* p = static_cast<const uint8_t*>(img.pixels.get());
        // Large images every 61st byte only, to keep executions quick.
        const size_t step = bytes > (size_t(1) << 24) ? 61 : 1;
        uint8_t sum = bytes ? p[bytes - 1] : 0;
        for (size_t i = 0; i < bytes; i += step) sum = uint8_t(sum + p[i]);
        static volatile uint8_t seen[256];
        seen[sum] = uint8_t(seen[sum] + 1);
    }
    return 0;
}
