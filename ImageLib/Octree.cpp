// Octree palette: node pool, heap and the build / reduce steps.
#include "ImageLib/Octree.h"

#include <memory>

namespace ImageLib {
namespace {

// Nodes are handed out from blocks of 2048 zero-filled nodes, from the last
// slot down; slots 0 and 1 of each block are not used. Blocks are freed only
// all together.
constexpr uint32_t kBlockNodes = 2048;

struct NodePool {
    std::vector<std::unique_ptr<OctreeNode[]>> blocks;
    uint32_t next = 0;

    OctreeNode* take() {
        if (blocks.empty() || next < 2) {
            blocks.emplace_back(new OctreeNode[kBlockNodes]());
            next = kBlockNodes - 1;
        }
        return &blocks.back()[next--];
    }
    void clear() {
        blocks.clear();
        blocks.shrink_to_fit();
        next = 0;
    }
};

NodePool& pool() {
    static NodePool p;
    return p;
}

// Fewer children first, then a smaller (count >> depth) compared as a signed
// 32-bit number; the second part never reaches across the first.
int64_t heapKey(const OctreeNode* n) {
    return (int64_t(n->childCount) << 32) + int64_t(int32_t(n->count >> n->depth));
}

void place(OctreeQuantizer& q, const OctreeHeapEntry& e, uint32_t slot) {
    q.heap[slot] = e;
    e.node->heapIndex = slot;
}

// Equal keys stop both sifts, so a node never passes one with the same key.
void siftUp(OctreeQuantizer& q, uint32_t s) {
    const OctreeHeapEntry e = q.heap[s];
    while (s > 1 && e.key < q.heap[s / 2].key) {
        place(q, q.heap[s / 2], s);
        s /= 2;
    }
    place(q, e, s);
}

void siftDown(OctreeQuantizer& q, uint32_t s) {
    const OctreeHeapEntry e = q.heap[s];
    for (;;) {
        uint32_t c = 2 * s;
        if (c >= q.heapCount) break;
        if (c + 1 < q.heapCount && q.heap[c + 1].key < q.heap[c].key) ++c;  // left one on ties
        if (!(q.heap[c].key < e.key)) break;
        place(q, q.heap[c], s);
        s = c;
    }
    place(q, e, s);
}

// Puts a node into the heap, or restores the order after its key changed.
void heapNode(OctreeQuantizer& q, OctreeNode* n) {
    if (n->flags & 1) {
        // An unchanged key would not move in either sift.
        const int64_t key = heapKey(n);
        if (q.heap[n->heapIndex].key == key) return;
        q.heap[n->heapIndex].key = key;
        siftDown(q, n->heapIndex);
        siftUp(q, n->heapIndex);
        return;
    }
    n->flags |= 1;
    if (q.heapCount == 0) q.heapCount = 1;
    if (q.heapCount >= q.heapCapacity) {
        while (q.heapCapacity <= q.heapCount) q.heapCapacity += 1024;
        q.heap.resize(q.heapCapacity, OctreeHeapEntry{0, nullptr});
    }
    place(q, {heapKey(n), n}, q.heapCount++);
    siftUp(q, n->heapIndex);
}

OctreeNode* popTop(OctreeQuantizer& q) {
    OctreeNode* top = q.heap[1].node;
    const OctreeHeapEntry last = q.heap[q.heapCount - 1];
    --q.heapCount;
    q.heap[q.heapCount] = {0, nullptr};
    if (last.node != top) {
        place(q, last, 1);
        siftDown(q, 1);
    }
    return top;
}

void insertPixel(OctreeQuantizer& q, uint8_t r, uint8_t g, uint8_t b) {
    OctreeNode* node = q.root;
    uint8_t mask = 128;
    for (uint8_t depth = 1; depth <= 7; ++depth, mask >>= 1) {
        const uint8_t i = uint8_t(4 * ((g & mask) != 0) + 2 * ((r & mask) != 0) + ((b & mask) != 0));
        OctreeNode* child = node->children[i];
        if (!child) {
            child = pool().take();
            child->indexInParent = i;
            child->depth = depth;
            child->parent = node;
            node->children[i] = child;
            ++node->childCount;
        }
        node = child;
    }
    node->redSum += r;
    node->greenSum += g;
    node->blueSum += b;
    ++node->count;
    heapNode(q, node);
}

void fold(OctreeQuantizer& q, OctreeNode* n) {
    OctreeNode* p = n->parent;
    p->redSum += n->redSum;
    p->greenSum += n->greenSum;
    p->blueSum += n->blueSum;
    p->count += n->count;
    --p->childCount;
    p->children[n->indexInParent] = nullptr;
    heapNode(q, p);
}

float channelMean(uint64_t sum, uint32_t count) {
    return float((double(sum) * (1.0 / count)) / 255.0);
}

}  // namespace

void buildOctreePalette(OctreeQuantizer& q, const uint8_t* rgba, uint32_t width, uint32_t height,
                        uint32_t limit) {
    limit = limit < 1 ? 1 : (limit > 256 ? 256 : limit);
    q.paletteCount = 0;
    q.heapCapacity = 0;
    q.heapCount = 0;
    q.heap.clear();
    q.root = pool().take();

    const uint64_t pixels = rgba ? uint64_t(width) * height : 0;
    for (uint64_t i = 0; i < pixels; ++i) {
        const uint8_t* p = rgba + 4 * i;
        insertPixel(q, p[0], p[1], p[2]);
    }

    // The root can only reach the heap top once it is the last node left,
    // and it has no parent to fold into.
    while (q.heapCount > limit + 1 && q.heap[1].node->parent) fold(q, popTop(q));

    if (q.heapCount < 2) return;
    for (uint32_t s = 1; s < q.heapCount; ++s) {
        const OctreeNode* n = q.heap[s].node;
        q.palette[s - 1] = {1.0f, channelMean(n->redSum, n->count), channelMean(n->greenSum, n->count),
                            channelMean(n->blueSum, n->count)};
    }
    q.paletteCount = q.heapCount - 1;
}

void releaseOctreePalette(OctreeQuantizer& q) {
    pool().clear();
    q.root = nullptr;
    std::vector<OctreeHeapEntry>().swap(q.heap);
    q.heapCapacity = 0;
    q.heapCount = 0;
}

}  // namespace ImageLib
