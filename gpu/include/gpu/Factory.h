// Entity ids and the per-kind factories that own the entities.
//
// An id is 32 bits: the top byte the kind, the low 24 bits a serial that
// starts at 1 per kind; 0 names nothing. A factory hands out the lowest free
// serial of its kind and owns its entities by value; releasing an id
// destroys the entity (and with it any GL object it holds). Entity classes
// need only default construction; GL-holding entities are move-only.
//
// Limits: a kind holds at most kindLimit(kind) live entities. Because the
// lowest free serial is always taken, no serial above that bound is ever
// handed out, so the bound on live entities and on serials are one number.
// Creating and releasing cost O(log n) in the live entities of the kind.
//
// Errors: create returns 0 when the kind is full; release of an absent id
// does nothing. Threads: none of this locks; callers run under the module's
// entry lock (and the GL lock for GL-holding entities).
#pragma once

#include <cstdint>
#include <iterator>
#include <map>
#include <set>

namespace gpu {

constexpr uint32_t kKindMask = 0xFF000000u;
constexpr uint32_t kSerialMask = 0x00FFFFFFu;
constexpr uint32_t kParameterKind = 0x01000000u;
constexpr uint32_t kShaderKind = 0x02000000u;
constexpr uint32_t kRenderTargetKind = 0x03000000u;
constexpr uint32_t kTextureKind = 0x04000000u;
constexpr uint32_t kSurfaceKind = 0x06000000u;

// Live entities a kind may hold at once: 16384 parameters (effects with ten
// thousand load), 4096 of every other kind. Beyond them the script gets an
// error naming the limit (script/Lookup.h).
constexpr uint32_t kindLimit(uint32_t kind) { return kind == kParameterKind ? 16384u : 4096u; }

class Factory {
public:
    virtual ~Factory() = default;
    // Makes a new entity and returns its id; the base makes nothing.
    virtual uint32_t create() { return 0; }
    // Destroys the entity with that id, if any.
    virtual void release(uint32_t) {}
    // True when create would return 0; the base is always full.
    virtual bool full() const { return true; }
};

// MaxSerial bounds the live entities and so the serials (tests narrow it to
// reach the end quickly).
template <class T, uint32_t Tag, uint32_t MaxSerial = kindLimit(Tag)>
class EntityFactory : public Factory {
    static_assert((Tag & kSerialMask) == 0, "a kind tag has an empty serial");
    static_assert(MaxSerial >= 1 && MaxSerial <= kSerialMask, "serials are 24 bits");

public:
    static constexpr uint32_t tag = Tag;
    static constexpr uint32_t limit = MaxSerial;

    uint32_t create() override {
        uint32_t serial;
        if (!freed.empty()) {
            serial = *freed.begin();
            freed.erase(freed.begin());
        } else if (next <= MaxSerial) {
            serial = next++;
        } else {
            return 0;
        }
        entities.try_emplace(Tag | serial);
        return Tag | serial;
    }

    void release(uint32_t id) override {
        if (entities.erase(id) == 0) return;
        const uint32_t serial = id & kSerialMask;
        if (serial + 1 != next) {
            freed.insert(serial);
            return;
        }
        // The highest serial went: lower the mark past every free serial
        // below it, so that `freed` never holds more than the gaps.
        --next;
        while (!freed.empty() && *freed.rbegin() + 1 == next) {
            freed.erase(std::prev(freed.end()));
            --next;
        }
    }

    bool full() const override { return freed.empty() && next > MaxSerial; }

    // The entity with that id, or null.
    T* find(uint32_t id) {
        auto it = entities.find(id);
        return it == entities.end() ? nullptr : &it->second;
    }

    std::map<uint32_t, T> entities;

private:
    // Every serial below `next` is live or in `freed`; none from `next` up is.
    uint32_t next = 1;
    std::set<uint32_t> freed;
};

}  // namespace gpu
