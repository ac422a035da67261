#include "hostsim/Image.h"

#include <algorithm>

namespace hostsim {

Image downsample(const Image& image, uint32_t factorX, uint32_t factorY) {
    factorX = std::max(factorX, 1u);
    factorY = std::max(factorY, 1u);
    if (factorX == 1 && factorY == 1) return image;
    if (image.isEightBit()) return downsample(asFloat(image), factorX, factorY);
    Image out((image.width + factorX - 1) / factorX, (image.height + factorY - 1) / factorY);
    for (uint32_t y = 0; y < out.height; ++y) {
        for (uint32_t x = 0; x < out.width; ++x) {
            uint32_t x0 = x * factorX, y0 = y * factorY;
            uint32_t x1 = std::min(image.width, x0 + factorX), y1 = std::min(image.height, y0 + factorY);
            float sum[4] = {0, 0, 0, 0};
            for (uint32_t sy = y0; sy < y1; ++sy)
                for (uint32_t sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 4; ++c) sum[c] += image.pixel(sx, sy)[c];
            float count = float((x1 - x0) * (y1 - y0));
            for (int c = 0; c < 4; ++c) out.pixel(x, y)[c] = sum[c] / count;
        }
    }
    return out;
}

}  // namespace hostsim
