#include "SuiteCache.h"

#include <cstring>

namespace host {

SuiteCache::SuiteCache(const PF_InData* in_data) : basic(in_data ? in_data->pica_basicP : nullptr) {
    if (!basic || !basic->AcquireSuite || !basic->ReleaseSuite) throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
}

SuiteCache::~SuiteCache() {
    for (auto it = slots.rbegin(); it != slots.rend(); ++it) basic->ReleaseSuite(it->name, it->version);
}

const void* SuiteCache::acquire(const char* name, int32_t version) {
    for (const Slot& slot : slots) {
        if (slot.version == version && std::strcmp(slot.name, name) == 0) return slot.suite;
    }
    const void* suite = nullptr;
    if (basic->AcquireSuite(name, version, &suite) != kSPNoError || !suite) {
        throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
    }
    slots.push_back({name, version, suite});
    return suite;
}

DirectSuiteBase::DirectSuiteBase(const PF_InData* in_data, const char* name, std::initializer_list<int32_t> versions)
    : basic(in_data ? in_data->pica_basicP : nullptr), name(name) {
    if (!basic || !basic->AcquireSuite) return;
    for (int32_t candidate : versions) {
        const void* table = nullptr;
        if (basic->AcquireSuite(name, candidate, &table) == kSPNoError && table) {
            suite = table;
            version = candidate;
            return;
        }
    }
}

DirectSuiteBase::~DirectSuiteBase() {
    if (suite && basic->ReleaseSuite) basic->ReleaseSuite(name, version);
}

HostHandle::HostHandle(const PF_HandleSuite1* suite, uint64_t size)
    : suite(suite), handle(suite->host_new_handle ? suite->host_new_handle(size) : nullptr) {}

HostHandle::~HostHandle() {
    if (handle && suite->host_dispose_handle) suite->host_dispose_handle(handle);
}

PF_Handle HostHandle::release() {
    PF_Handle kept = handle;
    handle = nullptr;
    return kept;
}

HandleLock::HandleLock(const PF_HandleSuite1* suite, PF_Handle handle)
    : suite(suite),
      handle(handle),
      block(handle && suite->host_lock_handle ? suite->host_lock_handle(handle) : nullptr) {}

HandleLock::~HandleLock() {
    if (handle && suite->host_unlock_handle) suite->host_unlock_handle(handle);
}

}  // namespace host
