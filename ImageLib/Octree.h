// Adaptive palette of at most 8..256 colours built from an image with an
// octree over bits 7..1 of red, green and blue and a binary min-heap that
// folds the least important node into its parent until the limit is met.
//
// The tree is implicit: a node at depth d is named by the top d bits of each
// channel, so inner nodes live in flat arrays (zero pages until touched),
// and a pixel finds its leaf through one table lookup by name.
//
// Ownership: the quantizer owns its node arrays and heap; releaseOctreePalette
// frees them (OctreePaletteGuard does that). No state is shared between
// quantizers.
// Errors: allocation failures throw std::bad_alloc; the caller still runs
// releaseOctreePalette.
// Threads: one quantizer must not be used by two threads at once.
#pragma once

#include "ImageLib/Surface.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace ImageLib {

namespace detail {
// A deepest node: its name, its pixel count and, per channel, how many of
// its pixels had bit 0 set (the other bits are in the name). `heapIndex` is
// its heap slot while the tree grows; once it is folded, kFolded.
struct OctreeLeaf {
    uint32_t name, count, heapIndex, oddRed, oddGreen, oddBlue;
};
constexpr uint32_t kFolded = ~0u;
// An inner node: the pixels folded into it and its children not folded
// yet. Colour sums play no part in the folding; they are added up once it
// is done.
struct OctreeInner {
    uint32_t count;
    uint32_t childCount;
};
// Frees a node table: a mapping of its own (`base`, `length`) or, when
// length is 0, a block from calloc.
struct BlockDeleter {
    void* base = nullptr;
    size_t length = 0;
    void operator()(void* p) const;
};
}  // namespace detail

struct OctreeQuantizer {
    Pixel32 palette[256];
    uint32_t paletteCount = 0;
    // Heap slots 1..heapCount-1 are used; slot 0 stays 0 and slot
    // heapCount holds a key above every node's, so that the sifts need no
    // bounds checks. Each slot packs
    // the ordering key (child count, then count >> depth as a signed 32-bit
    // number) above the node's number, so sifting touches no node.
    uint32_t heapCount = 0;
    std::unique_ptr<uint64_t[], detail::BlockDeleter> heap;
    // Leaves in the order their first pixel came, and each name's place
    // there plus one (0: none yet).
    std::unique_ptr<detail::OctreeLeaf[], detail::BlockDeleter> leaves;
    std::unique_ptr<uint32_t[], detail::BlockDeleter> leafSlots;
    uint32_t leafCount = 0;
    std::unique_ptr<detail::OctreeInner[], detail::BlockDeleter> inner;  // depths 0..6
    // Each inner node's heap slot (0: not in the heap), apart from the nodes
    // so that the sifts write to a small table.
    std::unique_ptr<uint32_t[], detail::BlockDeleter> innerSlots;
    std::vector<uint32_t> innerFolds;  // inner nodes in the order they were folded
};

// `rgba` holds width * height packed pixels with bytes red, green, blue,
// alpha (alpha is never read, and the last pixel's may lie past the end of
// the buffer). `limit` is clamped to 1..256. Afterwards
// palette[0 .. paletteCount-1] holds the colours (alpha 1.0) in heap order.
void buildOctreePalette(OctreeQuantizer& q, const uint8_t* rgba, uint32_t width, uint32_t height, uint32_t limit);

// Frees the node arrays and the heap.
void releaseOctreePalette(OctreeQuantizer& q);

struct OctreePaletteGuard {
    OctreeQuantizer& q;
    ~OctreePaletteGuard() { releaseOctreePalette(q); }
};

}  // namespace ImageLib
