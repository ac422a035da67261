// Host memory handles as the effect interface defines them: a handle points
// at a master pointer, which points at the block. The table owns every
// block it hands out until it is disposed; destroying the table frees what
// is left (after the caller has read the leak report).
//
// Misuse by a module (disposing, locking or resizing a handle this table
// did not make or already disposed) never crashes: the call does nothing,
// returns null or an error, and is counted in badCalls().
// Not thread-safe: the host serialises calls into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace hostsim {

class HandleTable {
public:
    using Handle = void**;

    HandleTable() = default;
    ~HandleTable();
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

    // A zero-filled block of `size` bytes; `origin` names who asked (for
    // the leak report). Returns null when the size is absurd.
    Handle create(uint64_t size, const std::string& origin);
    void* lock(Handle h);
    void unlock(Handle h);
    void dispose(Handle h);
    uint64_t size(Handle h) const;
    bool resize(Handle h, uint64_t newSize);

    bool isLive(Handle h) const { return blocks.count(h) != 0; }
    size_t liveCount() const { return blocks.size(); }
    // "origin (N bytes)" for every handle not yet disposed.
    std::vector<std::string> leaks() const;
    size_t created() const { return createdCount; }
    size_t disposed() const { return disposedCount; }
    size_t badCalls() const { return badCount; }

private:
    struct Block {
        void* master = nullptr;  // must stay the first member: the handle points here
        uint64_t size = 0;
        int locks = 0;
        std::string origin;
    };
    Block* find(Handle h) const;

    std::map<Handle, std::unique_ptr<Block>> blocks;
    size_t createdCount = 0, disposedCount = 0, badCount = 0;
};

}  // namespace hostsim
