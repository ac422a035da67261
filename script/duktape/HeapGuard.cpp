#include "HeapGuard.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace script {

namespace {

// Stack one level of the script compiler's recursion may take; measured at
// under 400 bytes in optimised builds (nested function literals are the
// deepest), more with the address sanitizer's instrumentation. GCC names
// that build with a macro, clang through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define LUMIVEX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMIVEX_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(LUMIVEX_ADDRESS_SANITIZER)
constexpr std::ptrdiff_t kCompilerLevelBytes = 2048;
#else
constexpr std::ptrdiff_t kCompilerLevelBytes = 512;
#endif

const char* stackPointer() { return static_cast<const char*>(__builtin_frame_address(0)); }

// Every block carries its payload size in a header of the platform's
// largest alignment, so blocks stay aligned as malloc's are.
constexpr std::size_t kHeader = alignof(std::max_align_t);
static_assert(kHeader >= sizeof(std::size_t), "the header holds a size");

unsigned char* headerOf(void* block) { return static_cast<unsigned char*>(block) - kHeader; }

std::size_t sizeOf(void* block) {
    std::size_t size;
    std::memcpy(&size, headerOf(block), sizeof size);
    return size;
}

void* payloadOf(void* base, std::size_t size) {
    std::memcpy(base, &size, sizeof size);
    return static_cast<unsigned char*>(base) + kHeader;
}

}  // namespace

// Limit and headroom together stay far from overflowing a block's size.
constexpr std::size_t kMaxLimit = std::numeric_limits<std::size_t>::max() / 4;

void HeapGuard::setHeadroom(std::size_t bytes) { headroom = std::min(bytes, kMaxLimit); }

void HeapGuard::setHeapLimit(std::size_t bytes) { limit = std::min(bytes, kMaxLimit); }

bool HeapGuard::admit(std::size_t growth) {
    const std::size_t allowed = limit + headroom;
    if (growth > allowed || used > allowed - growth) {
        limitReached = true;
        return false;
    }
    // A call whose time is spent gets no more memory until the engine unwinds
    // with an error: a built-in that loops without running script code
    // reaches no other check.
    return !(budget.poll() && !budget.isStopping());
}

void* HeapGuard::allocate(void* udata, duk_size_t size) {
    auto& guard = *static_cast<HeapGuard*>(udata);
    if (!guard.admit(size)) return nullptr;
    void* base = std::malloc(kHeader + size);
    if (!base) return nullptr;
    guard.used += size;
    return payloadOf(base, size);
}

void* HeapGuard::reallocate(void* udata, void* block, duk_size_t size) {
    if (!block) return allocate(udata, size);
    auto& guard = *static_cast<HeapGuard*>(udata);
    const std::size_t old = sizeOf(block);
    // Shrinking is always allowed: the engine shrinks while it collects.
    if (size > old && !guard.admit(size - old)) return nullptr;
    void* base = std::realloc(headerOf(block), kHeader + size);
    if (!base) return nullptr;
    guard.used = guard.used - old + size;
    return payloadOf(base, size);
}

void HeapGuard::release(void* udata, void* block) {
    if (!block) return;
    auto& guard = *static_cast<HeapGuard*>(udata);
    guard.used -= sizeOf(block);
    std::free(headerOf(block));
}

bool HeapGuard::nativeStackCheckFails() {
    if (budget.poll()) {
        budget.noteStopping();
        return true;
    }
    return stackFloor && stackPointer() < stackFloor;
}

int HeapGuard::compilerRecursionLimit(int engineLimit) const {
    if (!stackFloor) return engineLimit;
    const std::ptrdiff_t left = stackPointer() - stackFloor;
    if (left <= 0) return 0;
    return static_cast<int>(std::min<std::ptrdiff_t>(engineLimit, left / kCompilerLevelBytes));
}

}  // namespace script

// The hooks named in the engine's generated configuration
// (GenerateConfig.cmake), called with the heap's user data.

// From the interrupt handler, every few hundred thousand bytecode
// instructions.
bool lumivexScriptTimedOut(void* heapUserData) {
    auto* guard = static_cast<script::HeapGuard*>(heapUserData);
    if (!guard || !guard->budget.expired()) return false;
    guard->budget.noteStopping();
    return true;
}

// From the start of every compilation, for its recursion limit.
int lumivexCompilerRecursionLimit(void* heapUserData, int engineLimit) {
    const auto* guard = static_cast<const script::HeapGuard*>(heapUserData);
    return guard ? guard->compilerRecursionLimit(engineLimit) : engineLimit;
}

// From the native stack check, at every call and every level of recursion
// inside the engine's built-ins; nonzero makes the engine throw a RangeError.
int lumivexNativeStackCheck(void* heapUserData) {
    auto* guard = static_cast<script::HeapGuard*>(heapUserData);
    return guard && guard->nativeStackCheckFails() ? 1 : 0;
}
