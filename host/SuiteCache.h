// Access to the host's suites and handles for the length of one command.
//
// SuiteCache: acquires each (name, version) on first use through the basic
// suite in in_data and releases every suite it acquired, once and with the
// version acquired, when it is destroyed (also while an exception passes).
// A suite the host cannot give throws the integer PF_Err_BAD_CALLBACK_PARAM
// (516); so does making a cache when in_data has no basic suite.
//
// DirectSuite: one suite acquired on the spot; absence is not an error (the
// caller tests it), and it is released once, with its version, on
// destruction.
//
// HostHandle / HandleLock: a host handle made with the PF Handle Suite,
// disposed on destruction unless handed to the host with release(); a lock
// on a handle that is unlocked on destruction.
//
// All of these live on one handler's stack under the entry lock; none is
// copyable.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "sdk/PF_Suites.h"

namespace host {

class SuiteCache {
public:
    explicit SuiteCache(const PF_InData* in_data);
    ~SuiteCache();
    SuiteCache(const SuiteCache&) = delete;
    SuiteCache& operator=(const SuiteCache&) = delete;

    // The suite's table; acquired at most once per cache.
    template <class Suite>
    const Suite* get(const char* name, int32_t version) {
        return static_cast<const Suite*>(acquire(name, version));
    }

    const PF_HandleSuite1* handles() { return get<PF_HandleSuite1>(kPFHandleSuite, kPFHandleSuiteVersion1); }
    const PF_PixelDataSuite1* pixelData() {
        return get<PF_PixelDataSuite1>(kPFPixelDataSuite, kPFPixelDataSuiteVersion1);
    }

private:
    struct Slot {
        const char* name;
        int32_t version;
        const void* suite;
    };
    const void* acquire(const char* name, int32_t version);

    SPBasicSuite* basic;
    std::vector<Slot> slots;
};

class DirectSuiteBase {
public:
    // Tries the versions in order and keeps the first the host gives.
    DirectSuiteBase(const PF_InData* in_data, const char* name, std::initializer_list<int32_t> versions);
    ~DirectSuiteBase();
    DirectSuiteBase(const DirectSuiteBase&) = delete;
    DirectSuiteBase& operator=(const DirectSuiteBase&) = delete;

    explicit operator bool() const { return suite != nullptr; }
    int32_t acquiredVersion() const { return version; }

protected:
    SPBasicSuite* basic;
    const char* name;
    int32_t version = 0;
    const void* suite = nullptr;
};

template <class Suite>
class DirectSuite : public DirectSuiteBase {
public:
    DirectSuite(const PF_InData* in_data, const char* name, std::initializer_list<int32_t> versions)
        : DirectSuiteBase(in_data, name, versions) {}
    const Suite* operator->() const { return static_cast<const Suite*>(suite); }
};

class HostHandle {
public:
    // Allocates size bytes; valid() is false when the host gives nothing.
    HostHandle(const PF_HandleSuite1* suite, uint64_t size);
    ~HostHandle();
    HostHandle(const HostHandle&) = delete;
    HostHandle& operator=(const HostHandle&) = delete;

    bool valid() const { return handle != nullptr; }
    PF_Handle get() const { return handle; }
    // Hands the handle to the host: it is no longer disposed here.
    PF_Handle release();

private:
    const PF_HandleSuite1* suite;
    PF_Handle handle;
};

class HandleLock {
public:
    HandleLock(const PF_HandleSuite1* suite, PF_Handle handle);
    ~HandleLock();
    HandleLock(const HandleLock&) = delete;
    HandleLock& operator=(const HandleLock&) = delete;

    // The block's memory, or null when the lock failed.
    void* data() const { return block; }

private:
    const PF_HandleSuite1* suite;
    PF_Handle handle;
    void* block;
};

}  // namespace host
