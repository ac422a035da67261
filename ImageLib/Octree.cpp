// Octree palette: the implicit tree, the heap and the build / reduce steps.
#include "Octree.h"

#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace ImageLib {
namespace {

using detail::OctreeInner;
using detail::OctreeLeaf;

// Node numbers: inner nodes of depth d from kFirst[d] (8^d of them, named by
// 3d bits), then the leaves in the order they came.
//
// Where the time goes on images of many distinct colours: most leaves then
// share one key and sit in the heap in the order they came, pops mostly take
// nodes from the heap's end, and a node moved to the top mostly sinks through
// the left part of each level. Both keep to a few stretches of the plain
// slot-order array and of the leaf table, which is why leaves are numbered by
// arrival rather than by name (by name, the folds read them at random) and why
// the heap is not stored in blocks of subtrees (that scatters the stretches
// and ran twice as slow).
constexpr uint32_t kFirst[8] = {0, 1, 9, 73, 585, 4681, 37449, 299593};
constexpr uint32_t kInnerNodes = kFirst[7];
constexpr uint32_t kLeaves = 1u << 21;
constexpr unsigned kIdBits = 22;
constexpr uint64_t kIdMask = (uint64_t(1) << kIdBits) - 1;

// A zeroed table whose untouched pages cost nothing. The tables are read
// at random, so on Linux the larger ones are aligned to 2 MB and offered
// huge pages: with 4 KB pages most reads would also miss the TLB.
template <class T>
std::unique_ptr<T[], detail::BlockDeleter> zeroed(size_t n) {
#ifdef __linux__
    const size_t bytes = n * sizeof(T);
    constexpr size_t kHuge = size_t(2) << 20;
    if (bytes >= kHuge) {
        const size_t length = bytes + kHuge;
        void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) throw std::bad_alloc();
        void* aligned = reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(base) + kHuge - 1) & ~(kHuge - 1));
        madvise(aligned, bytes, MADV_HUGEPAGE);  // a hint: refused, the pages stay small
        return {static_cast<T*>(aligned), detail::BlockDeleter{base, length}};
    }
#endif
    void* p = std::calloc(n, sizeof(T));
    if (!p) throw std::bad_alloc();
    return {static_cast<T*>(p), detail::BlockDeleter{}};
}

// Bits 0..6 of v moved to bits 0, 3, 6, ..., 18; and back, looked up in
// tables: `spread` by the 7 bits, `gather` by 9 bits at a time.
struct NameBits {
    uint32_t spread[128];
    uint8_t gather[512];
    NameBits() {
        for (uint32_t v = 0; v < 128; ++v) {
            spread[v] = 0;
            for (int b = 0; b < 7; ++b) spread[v] |= ((v >> b) & 1u) << (3 * b);
        }
        for (uint32_t v = 0; v < 512; ++v) gather[v] = uint8_t((v & 1u) | ((v >> 2) & 2u) | ((v >> 4) & 4u));
    }

    // A leaf's name: per depth the child index 4 g + 2 r + b of that bit.
    uint32_t leafName(uint8_t r, uint8_t g, uint8_t b) const {
        return (spread[g >> 1] << 2) | (spread[r >> 1] << 1) | spread[b >> 1];
    }
    uint32_t channel(uint32_t name) const {
        return gather[name & 511u] | (gather[(name >> 9) & 511u] << 3) | (gather[(name >> 18) & 511u] << 6);
    }
};

// Fewer children first, then a smaller (count >> depth) compared as a signed
// 32-bit number; the second part never reaches across the first.
int64_t heapKey(uint32_t childCount, uint32_t count, uint32_t depth) {
    return (int64_t(childCount) << 32) + int64_t(int32_t(count >> depth));
}
uint64_t pack(int64_t key, uint32_t id) { return (uint64_t(key + (int64_t(1) << 31)) << kIdBits) | id; }
uint64_t keyOf(uint64_t slot) { return slot >> kIdBits; }
// Past the last node: a key above every node's.
constexpr uint64_t kPastTheLast = ~uint64_t(0);

template <bool LeafPlaces>
struct Tree {
    OctreeQuantizer& q;
    const NameBits& bits;

    bool isLeaf(uint32_t id) const { return id >= kInnerNodes; }
    OctreeLeaf& leaf(uint32_t id) const { return q.leaves[id - kInnerNodes]; }
    OctreeInner& inner(uint32_t id) const { return q.inner[id]; }

    // While LeafPlaces, leaves record their heap places in themselves;
    // afterwards a leaf's place goes to the spare slot past the inner
    // nodes, so that no branch asks what kind a node is.
    void setIndex(uint32_t id, uint32_t slot) const {
        if (LeafPlaces && isLeaf(id)) leaf(id).heapIndex = slot;
        else q.innerSlots[id < kInnerNodes ? id : kInnerNodes] = slot;
    }
    uint32_t heapIndex(uint32_t id) const { return isLeaf(id) ? leaf(id).heapIndex : q.innerSlots[id]; }

    void place(uint64_t* heap, uint64_t e, uint32_t slot) const {
        heap[slot] = e;
        setIndex(uint32_t(e & kIdMask), slot);
    }

    // Equal keys stop both sifts, so a node never passes one with the same
    // key. Slot 0 holds key 0, below every node's, so a rise stops at 1.
    void siftUp(uint32_t s) const {
        uint64_t* const heap = q.heap.get();
        const uint64_t e = heap[s];
        while (keyOf(e) < keyOf(heap[s / 2])) {
            place(heap, heap[s / 2], s);
            s /= 2;
        }
        place(heap, e, s);
    }

    // The slot past the last holds kPastTheLast, so both children are read
    // and the smaller picked without a branch. The slots four levels down
    // are fetched ahead (a fetch past the table does no harm).
    void siftDown(uint32_t s) const {
        uint64_t* const heap = q.heap.get();
        const uint32_t count = q.heapCount;
        const uint64_t e = heap[s];
        for (uint32_t c = 2 * s; c < count; c = 2 * s) {
            __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(heap) + 128 * uintptr_t(s)));
            c += keyOf(heap[c + 1]) < keyOf(heap[c]);  // the left one on ties
            const uint64_t child = heap[c];
            if (!(keyOf(child) < keyOf(e))) break;
            place(heap, child, s);
            s = c;
        }
        place(heap, e, s);
    }

    // Puts a node into the heap, or restores the order after its key
    // changed (an unchanged key would not move in either sift).
    void heapNode(uint32_t id, int64_t key) const {
        const uint32_t at = heapIndex(id);
        if (at != 0) {
            // In a valid heap a smaller key can only rise and a larger one
            // only sink; an equal one stays.
            const int64_t old = int64_t(keyOf(q.heap[at])) - (int64_t(1) << 31);
            if (old == key) return;
            q.heap[at] = pack(key, id);
            if (key < old) siftUp(at);
            else siftDown(at);
            return;
        }
        place(q.heap.get(), pack(key, id), q.heapCount++);
        q.heap[q.heapCount] = kPastTheLast;
        siftUp(heapIndex(id));
    }

    uint32_t popTop() const {
        const uint64_t top = q.heap[1];
        const uint64_t last = q.heap[q.heapCount - 1];
        --q.heapCount;
        q.heap[q.heapCount] = kPastTheLast;
        if (last != top) {
            place(q.heap.get(), last, 1);
            siftDown(1);
        }
        return uint32_t(top & kIdMask);
    }

    uint32_t countOf(uint32_t id) const { return isLeaf(id) ? leaf(id).count : inner(id).count; }

    // An inner node's depth follows from its number, without reading it:
    // kFirst[d] = (8^d - 1) / 7, so depth d holds the numbers with
    // 8^d <= 7 id + 1 < 8^(d + 1).
    static uint32_t depthOf(uint32_t id) { return uint32_t(31 - __builtin_clz(7 * id + 1)) / 3; }

    uint32_t parentOf(uint32_t id) const {
        if (isLeaf(id)) return kFirst[6] + (leaf(id).name >> 3);
        const uint32_t d = depthOf(id);
        return kFirst[d - 1] + ((id - kFirst[d]) >> 3);
    }

    // The nodes likely to go next, fetched in two steps: a leaf's own
    // record a few folds ahead (it names the parent), then its parent.
    void prefetchNode(uint32_t id) const {
        if (isLeaf(id)) __builtin_prefetch(&leaf(id));
    }
    void prefetchParent(uint32_t id) const {
        if (id != 0) __builtin_prefetch(&inner(parentOf(id)), 1);  // the root has no parent
    }

    void fold(uint32_t id) const {
        const uint32_t parent = parentOf(id), count = countOf(id);
        if (isLeaf(id)) leaf(id).heapIndex = detail::kFolded;
        else q.innerFolds.push_back(id);
        OctreeInner& p = inner(parent);
        p.count += count;
        --p.childCount;
        heapNode(parent, heapKey(p.childCount, p.count, depthOf(parent)));
    }

    // Each leaf's pixels went, fold by fold, to the nearest of itself and
    // its ancestors not folded, which is in the heap: their colour sums are
    // added up there, per heap slot. (Sums of integers: the order of the
    // additions does not matter.) A folded inner node takes its parent's
    // slot, so that a leaf finds its slot at its parent. A node folds only
    // once all its children have, so in the reverse order of the folds
    // every parent comes before its children.
    void sumColours(uint64_t (*sums)[3]) const {
        for (uint32_t s = 1; s < q.heapCount; ++s) {
            const uint32_t id = uint32_t(q.heap[s] & kIdMask);
            if (isLeaf(id)) leaf(id).heapIndex = s;
        }
        for (auto id = q.innerFolds.rbegin(); id != q.innerFolds.rend(); ++id)
            q.innerSlots[*id] = q.innerSlots[parentOf(*id)];
        for (uint32_t j = 0; j < q.leafCount; ++j) {
            const OctreeLeaf& n = q.leaves[j];
            const uint32_t slot =
                n.heapIndex != detail::kFolded ? n.heapIndex : q.innerSlots[kFirst[6] + (n.name >> 3)];
            // Each pixel's value is its leaf's 7 named bits, then its own
            // bit 0.
            const auto sum = [&](uint32_t named, uint32_t odd) { return uint64_t(n.count) * (named << 1) + odd; };
            sums[slot - 1][0] += sum(bits.channel(n.name >> 1), n.oddRed);
            sums[slot - 1][1] += sum(bits.channel(n.name >> 2), n.oddGreen);
            sums[slot - 1][2] += sum(bits.channel(n.name), n.oddBlue);
        }
    }

    // A new leaf: its parent gains a child, and so on up while a parent is
    // new itself.
    void addPath(uint32_t name) const {
        for (int d = 6; d >= 0; --d) {
            name >>= 3;
            if (q.inner[kFirst[d] + name].childCount++ != 0) break;
        }
    }

    void insert(uint32_t name, uint8_t r, uint8_t g, uint8_t b) const {
        uint32_t& slot = q.leafSlots[name];
        if (slot == 0) {
            slot = ++q.leafCount;
            q.leaves[slot - 1].name = name;
            addPath(name);
        }
        OctreeLeaf& n = q.leaves[slot - 1];
        const uint32_t before = n.count >> 7;
        ++n.count;
        n.oddRed += r & 1u;
        n.oddGreen += g & 1u;
        n.oddBlue += b & 1u;
        if (n.heapIndex == 0 || (n.count >> 7) != before) heapNode(kInnerNodes + slot - 1, heapKey(0, n.count, 7));
    }
};

float channelMean(uint64_t sum, uint32_t count) { return float((double(sum) * (1.0 / count)) / 255.0); }

}  // namespace

void buildOctreePalette(OctreeQuantizer& q, const uint8_t* rgba, uint32_t width, uint32_t height, uint32_t limit) {
    static const NameBits bits;
    limit = limit < 1 ? 1 : (limit > 256 ? 256 : limit);
    q.paletteCount = 0;
    q.heapCount = 0;
    q.innerFolds.clear();
    const uint64_t pixels = rgba ? uint64_t(width) * height : 0;
    q.leafCount = 0;
    const uint64_t leaves = pixels < kLeaves ? pixels + 1 : kLeaves;
    q.leaves = zeroed<OctreeLeaf>(leaves);
    // Every node at once at most, slot 0 and the spare slot past the last.
    q.heap = zeroed<uint64_t>(leaves + kInnerNodes + 2);
    q.heapCount = 1;
    q.heap[1] = kPastTheLast;
    q.leafSlots = zeroed<uint32_t>(kLeaves);
    q.inner = zeroed<OctreeInner>(kInnerNodes);
    q.innerSlots = zeroed<uint32_t>(kInnerNodes + 1);
    const Tree<true> growing{q, bits};

    // Leaves are looked up a few pixels ahead so that their cache misses
    // overlap; the names wait in a ring until their pixel's turn.
    constexpr uint64_t kAhead = 16;
    uint32_t names[kAhead];
    const auto ahead = [&](uint64_t i) {
        const uint8_t* a = rgba + 4 * i;
        const uint32_t name = bits.leafName(a[0], a[1], a[2]);
        __builtin_prefetch(&q.leafSlots[name], 1);
        __builtin_prefetch(&q.inner[kFirst[6] + (name >> 3)], 1);
        names[i % kAhead] = name;
    };
    for (uint64_t i = 0; i < kAhead && i < pixels; ++i) ahead(i);
    for (uint64_t i = 0; i < pixels; ++i) {
        const uint32_t name = names[i % kAhead];
        if (i + kAhead < pixels) ahead(i + kAhead);
        const uint8_t* p = rgba + 4 * i;
        growing.insert(name, p[0], p[1], p[2]);
    }

    // Leaves never change key again: their heap positions are not needed.
    const Tree<false> tree{q, bits};
    // The root can only reach the heap top once it is the last node left,
    // and it has no parent to fold into.
    while (q.heapCount > limit + 1 && (q.heap[1] & kIdMask) != 0) {
        const uint32_t id = tree.popTop();
        // The next to go is nearly always the top now. The one after it is
        // mostly the last node (moved to the top at the next pop, a
        // childless node stays there) or else the top's left child; the
        // one after that often the node before the last.
        const auto at = [&](uint32_t s) { return uint32_t(q.heap[s] & kIdMask); };
        if (q.heapCount > 8) {
            tree.prefetchParent(at(1));
            tree.prefetchParent(at(q.heapCount - 1));
            tree.prefetchParent(at(2));
            tree.prefetchNode(at(q.heapCount - 2));
        }
        tree.fold(id);
    }

    if (q.heapCount < 2) return;
    uint64_t sums[256][3] = {};
    tree.sumColours(sums);
    for (uint32_t s = 1; s < q.heapCount; ++s) {
        const uint32_t count = tree.countOf(uint32_t(q.heap[s] & kIdMask));
        const uint64_t* sum = sums[s - 1];
        q.palette[s - 1] = {1.0f, channelMean(sum[0], count), channelMean(sum[1], count), channelMean(sum[2], count)};
    }
    q.paletteCount = q.heapCount - 1;
}

void detail::BlockDeleter::operator()(void* p) const {
#ifdef __linux__
    if (length != 0) {
        munmap(base, length);
        return;
    }
#endif
    std::free(p);
}

void releaseOctreePalette(OctreeQuantizer& q) {
    q.leaves.reset();
    q.leafSlots.reset();
    q.leafCount = 0;
    q.inner.reset();
    q.innerSlots.reset();
    std::vector<uint32_t>().swap(q.innerFolds);
    q.heap.reset();
    q.heapCount = 0;
}

}  // namespace ImageLib
