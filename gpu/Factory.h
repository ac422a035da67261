// Entity ids and the per-kind factories that own the entities.
//
// An id is 32 bits: the top byte the kind, the low 24 bits a serial that
// starts at 1 per kind; 0 names nothing. A factory hands out the lowest free
// serial of its kind and owns its entities by value; releasing an id
// destroys the entity (and with it any GL object it holds). Entity classes
// need only default construction; GL-holding entities are move-only.
//
// Errors: create returns 0 when the kind's serial space is full; release of
// an absent id does nothing. Threads: none of this locks; callers run under
// the module's entry lock (and the GL lock for GL-holding entities).
#pragma once

#include <cstdint>
#include <map>

constexpr uint32_t kKindMask = 0xFF000000u;
constexpr uint32_t kSerialMask = 0x00FFFFFFu;
constexpr uint32_t kParameterKind = 0x01000000u;
constexpr uint32_t kShaderKind = 0x02000000u;
constexpr uint32_t kRenderTargetKind = 0x03000000u;
constexpr uint32_t kTextureKind = 0x04000000u;
constexpr uint32_t kSurfaceKind = 0x06000000u;

class Factory {
public:
    virtual ~Factory() = default;
    // Makes a new entity and returns its id; the base makes nothing.
    virtual uint32_t create() { return 0; }
    // Destroys the entity with that id, if any.
    virtual void release(uint32_t) {}
};

// MaxSerial narrows the serial space (tests use it to reach the end quickly).
template <class T, uint32_t Tag, uint32_t MaxSerial = kSerialMask>
class EntityFactory : public Factory {
    static_assert((Tag & kSerialMask) == 0, "a kind tag has an empty serial");
    static_assert(MaxSerial >= 1 && MaxSerial <= kSerialMask, "serials are 24 bits");

public:
    static constexpr uint32_t tag = Tag;

    uint32_t create() override {
        uint32_t id = Tag + 1;
        for (auto it = entities.lower_bound(id); it != entities.end() && it->first == id; ++it) {
            if ((id & kSerialMask) == MaxSerial) return 0;  // no free serial left
            ++id;
        }
        entities.try_emplace(id);
        return id;
    }

    void release(uint32_t id) override { entities.erase(id); }

    // The entity with that id, or null.
    T* find(uint32_t id) {
        auto it = entities.find(id);
        return it == entities.end() ? nullptr : &it->second;
    }

    std::map<uint32_t, T> entities;
};
