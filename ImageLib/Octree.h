// Adaptive palette of at most 8..256 colours built from an image with an
// octree over bits 7..1 of red, green and blue and a min-heap that folds the
// least important leaf into its parent until the limit is met.
//
// Ownership: nodes come from a process-wide pool of zero-filled blocks that
// releaseOctreePalette frees all at once; the quantizer owns its heap array.
// Errors: allocation failures throw std::bad_alloc; the caller still runs
// releaseOctreePalette (OctreePaletteGuard does that).
// Threads: the pool is process-wide and unlocked; builds must not overlap.
#pragma once

#include "ImageLib/Surface.h"

#include <cstdint>
#include <vector>

namespace ImageLib {

struct OctreeNode {
    uint64_t redSum, greenSum, blueSum;
    uint32_t count;
    uint32_t heapIndex;
    uint8_t childCount;
    uint8_t indexInParent;
    uint8_t flags;  // bit 0: the node has been put into the heap
    uint8_t depth;  // 0 for the root, 7 for the deepest nodes
    OctreeNode* children[8];
    OctreeNode* parent;
};

// A heap slot: the node and its ordering key (child count, then count >>
// depth as a signed 32-bit number), kept beside the reference so that sifting
// does not touch the nodes.
struct OctreeHeapEntry {
    int64_t key;
    OctreeNode* node;
};

struct OctreeQuantizer {
    Pixel32 palette[256];
    uint32_t paletteCount = 0;
    // Heap slots 1..heapCount-1 are used; slot 0 never is.
    uint32_t heapCapacity = 0;
    uint32_t heapCount = 0;
    std::vector<OctreeHeapEntry> heap;
    OctreeNode* root = nullptr;
};

// `rgba` holds width * height packed pixels with bytes red, green, blue,
// alpha (alpha is ignored). `limit` is clamped to 1..256. Afterwards
// palette[0 .. paletteCount-1] holds the colours (alpha 1.0) in heap order.
void buildOctreePalette(OctreeQuantizer& q, const uint8_t* rgba, uint32_t width, uint32_t height,
                        uint32_t limit);

// Frees every pool block and the heap array.
void releaseOctreePalette(OctreeQuantizer& q);

struct OctreePaletteGuard {
    OctreeQuantizer& q;
    ~OctreePaletteGuard() { releaseOctreePalette(q); }
};

}  // namespace ImageLib
