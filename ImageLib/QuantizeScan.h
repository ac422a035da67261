// The vector scan kernels of the quantizer: one build for SSE2 and one for
// AVX2, picked at run time. Both compute each pixel with exactly the float
// operations, in the order, of the scalar loops in Quantize.cpp; only the
// palette search runs across several entries at once.
//
// Internal to the image library. Plain data only: the AVX2 file is compiled
// with other instruction-set flags and must share no inline code with the
// rest of the library.
#pragma once

#include <cstdint>

namespace ImageLib::detail {

// Cell lists of at most kShorterList blocks are stored padded to it, and
// other lists of at most kShortList blocks padded to that, so that the
// search can measure them whole.
constexpr uint32_t kShortList = 4, kShorterList = 2;

// Entries in blocks as in SearchTable, ascending palette index; `blocks`
// counts those holding entries (a short list has padding blocks after them).
struct CellList {
    const float* soa = nullptr;
    const float* index = nullptr;
    uint32_t blocks = 0;
};

// Entries in blocks of near neighbours, as in SearchTable, with each
// block's range per channel: low[32 * c + k] and high[32 * c + k] for block
// k and channel c (alpha, red, green, blue); unused blocks have +inf.
struct BoxList {
    const float* soa = nullptr;
    const float* index = nullptr;
    const float* low = nullptr;
    const float* high = nullptr;
    uint32_t blocks = 0;
};

// A palette in blocks of 8 entries (8 alphas, 8 reds, 8 greens, 8 blues),
// the last block padded with entries that are never chosen. `index` gives
// each slot's position in the palette (as a float), which decides ties.
// When `channel` is 1, 2 or 3 the entries are sorted by that channel (red,
// green, blue), `low` and `high` hold each block's range in it, and `start`
// maps the channel value v (bucket clamp(v * 256, 0, 255)) to the block the
// search begins with; the search then stops in each direction at the first
// block that provably holds no entry as near as the best so far. Channel 0:
// every block is searched.
struct SearchTable {
    const float* soa = nullptr;
    const float* index = nullptr;
    const float* low = nullptr;
    const float* high = nullptr;
    const uint16_t* start = nullptr;
    uint32_t blocks = 0;
    uint32_t channel = 0;
    // Optional, for palettes of opaque colours in 0..1: a 16 x 16 x 16 grid
    // over red, green and blue in 0..1, cell (r, g, b) at 256 r + 16 g + b.
    // A cell's list holds every entry that can be nearest (or equally near)
    // to a colour in the cell whose alpha lies in -1..3; an empty list is
    // filled on first use by buildCell(cellContext, cell).
    CellList* cells = nullptr;
    void (*buildCell)(void* context, uint32_t cell) = nullptr;
    void* cellContext = nullptr;
    // With the grid and a sorted palette: for colours off the grid (error
    // diffusion can carry them far out, where the one-channel bound of the
    // sorted search stops late), a block is measured only when its range
    // could hold an entry as near as the best so far.
    BoxList boxes;
};

enum class ScanMode : uint8_t { Plain, Ordered, Diffusion };

// The most taps a diffusion kernel has (the largest has 12); the scan
// ignores any beyond, which the tests against the scalar loops would show.
constexpr uint32_t kMaxScanTaps = 16;

// One error-diffusion tap: `row` rows down, `offset` columns on in scan
// direction, weight the same in all four channels. Taps are in row order.
struct ScanTap {
    uint32_t row;
    int32_t offset;
    float weight;
};

// Rows 0..height-1 of `data` are scanned; they are rows firstRow.. of the
// image (which decides the matrix phase and the serpentine direction). The
// diffusion also adds to the `rowsBelow` rows after them. `last` carries
// the nearest-colour choice of the previous pixel in scan order in and out.
struct ScanJob {
    uint8_t* data = nullptr;  // float pixels alpha, red, green, blue
    uint64_t stride = 0;
    uint32_t width = 0, height = 0;
    uint32_t firstRow = 0, rowsBelow = 0;
    uint32_t* last = nullptr;
    ScanMode mode = ScanMode::Plain;

    // Chooser: the threshold (white when red > threshold) when `colors` is
    // null, else the nearest of `count` entries of `colors` through `table`.
    float threshold = 0.0f;
    const float* colors = nullptr;  // entries as alpha, red, green, blue
    uint32_t count = 0;
    SearchTable table;

    // Ordered: strength * matrix, matrixSize x matrixSize (a power of two).
    const float* offsets = nullptr;
    uint32_t matrixSize = 0;

    // Diffusion.
    const ScanTap* taps = nullptr;
    uint32_t tapCount = 0;
    bool serpentine = false;
};

void scanSse2(const ScanJob& job);
void scanAvx2(const ScanJob& job);

// 8-bit rows to and from a band on AVX2, with the arithmetic of the
// library's vector conversions (the constants are passed in): bytes v to
// (v * inv256) * scale, and floats v back to bytes as round(clamp(v * 255,
// -limit, limit)) saturated, each destination pixel keeping its alpha byte.
void bytesToFloatsAvx2(const uint8_t* in, float* out, uint32_t pixels, float inv256, float scale);
void floatsToColourAvx2(const float* in, uint8_t* out, uint32_t pixels, float limit);

}  // namespace ImageLib::detail
