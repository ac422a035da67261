// Fuzzes the resource-table parser that a host runs on a module file.
#include <cstddef>
#include <cstdint>

#include "platform/Resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    try {
        const platform::ResourceTable table = platform::parseResourceTable(bytes, size);
        volatile uint32_t sum = 0;
        for (const platform::ResourceEntry& entry : table.entries()) {
            for (size_t i = 0; i < entry.bytes.size; ++i) sum = sum + entry.bytes.data[i];
            if (entry.type.text) sum = sum + uint32_t(entry.type.text->size());
        }
        table.find("PIPL", 16000, 1033);
    } catch (const platform::ResourceTableError&) {}
    return 0;
}
