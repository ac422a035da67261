#include "hostsim/Handles.h"

#include <cstdlib>
#include <cstring>

namespace hostsim {
namespace {
constexpr uint64_t kMaxHandleSize = uint64_t(1) << 32;
}

HandleTable::~HandleTable() {
    for (auto& entry : blocks) std::free(entry.second->master);
}

HandleTable::Block* HandleTable::find(Handle h) const {
    auto it = blocks.find(h);
    return it == blocks.end() ? nullptr : it->second.get();
}

HandleTable::Handle HandleTable::create(uint64_t size, const std::string& origin) {
    if (size > kMaxHandleSize) {
        ++badCount;
        return nullptr;
    }
    auto block = std::make_unique<Block>();
    block->master = std::calloc(1, size ? size : 1);
    if (!block->master) return nullptr;
    block->size = size;
    block->origin = origin;
    Handle h = &block->master;
    blocks.emplace(h, std::move(block));
    ++createdCount;
    return h;
}

void* HandleTable::lock(Handle h) {
    Block* b = find(h);
    if (!b) {
        ++badCount;
        return nullptr;
    }
    ++b->locks;
    return b->master;
}

void HandleTable::unlock(Handle h) {
    Block* b = find(h);
    if (!b) {
        ++badCount;
        return;
    }
    if (b->locks > 0) --b->locks;
}

void HandleTable::dispose(Handle h) {
    auto it = blocks.find(h);
    if (it == blocks.end()) {
        ++badCount;
        return;
    }
    std::free(it->second->master);
    blocks.erase(it);
    ++disposedCount;
}

uint64_t HandleTable::size(Handle h) const {
    Block* b = find(h);
    return b ? b->size : 0;
}

bool HandleTable::resize(Handle h, uint64_t newSize) {
    Block* b = find(h);
    if (!b || newSize > kMaxHandleSize || b->locks > 0) {
        ++badCount;
        return false;
    }
    void* grown = std::realloc(b->master, newSize ? newSize : 1);
    if (!grown) return false;
    if (newSize > b->size) std::memset(static_cast<uint8_t*>(grown) + b->size, 0, newSize - b->size);
    b->master = grown;
    b->size = newSize;
    return true;
}

std::vector<std::string> HandleTable::leaks() const {
    std::vector<std::string> out;
    for (const auto& entry : blocks)
        out.push_back(entry.second->origin + " (" + std::to_string(entry.second->size) + " bytes)");
    return out;
}

}  // namespace hostsim
