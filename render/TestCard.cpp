#include "render/TestCard.h"

namespace render {

hostsim::Image makeTestCard(uint32_t width, uint32_t height) {
    // White, yellow, cyan, green, magenta, red, blue, black.
    static const float kBars[8][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0},
                                      {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
    hostsim::Image image(width, height);
    uint32_t barsEnd = height / 2, rampEnd = height * 3 / 4;
    uint32_t cell = width / 16 > 0 ? width / 16 : 1;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            float* p = image.pixel(x, y);
            if (y < barsEnd) {
                const float* bar = kBars[uint64_t(x) * 8 / width];
                p[0] = bar[0], p[1] = bar[1], p[2] = bar[2];
            } else if (y < rampEnd) {
                float v = width > 1 ? float(x) / float(width - 1) : 0.0f;
                p[0] = p[1] = p[2] = v;
            } else {
                bool grid = x % cell == 0 || (y - rampEnd) % cell == 0;
                bool dark = ((x / cell) + ((y - rampEnd) / cell)) % 2 == 0;
                float v = grid ? 1.0f : (dark ? 0.2f : 0.6f);
                p[0] = p[1] = p[2] = v;
            }
            p[3] = 1.0f;
        }
    }
    return image;
}

}  // namespace render
