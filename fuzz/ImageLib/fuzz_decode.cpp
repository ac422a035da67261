// Feeds arbitrary bytes to the texture decoder. Files with the Radiance
// signature take the float path, everything else the 8-bit path, so one
// target covers both decoder entry points and every compiled-in format.
#include "ImageLib/Decode.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ImageLib::DecodedImage img;
    if (ImageLib::decodeImage(data, size, img)) {
        // Touch every decoded byte so short buffers show up under ASan.
        const size_t bytes = size_t(img.width) * img.height * (img.depth == 32 ? 16 : 4);
        volatile uint8_t sink = 0;
        const auto* p = static_cast<const uint8_t*>(img.pixels.get());
        for (size_t i = 0; i < bytes; i += 61) sink = sink ^ p[i];
        if (bytes) sink = sink ^ p[bytes - 1];
    }
    return 0;
}
