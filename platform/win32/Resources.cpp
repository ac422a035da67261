// Module resources from the module's own PE resource section: lookups go
// through FindResourceExW, LoadResource, LockResource and SizeofResource.
// Resource data stays mapped as long as the module is loaded, so the views
// handed out need no copy.
#include "platform/Resources.h"

#include <windows.h>

namespace platform {
namespace {

HMODULE toHandle(ModuleHandle module) { return static_cast<HMODULE>(const_cast<void*>(module)); }

// A type or name as the resource functions take it: an integer resource id,
// or the ASCII text widened.
class WideKey {
public:
    explicit WideKey(const ResourceKey& key) {
        if (key.text) text.assign(key.text->begin(), key.text->end());
        else id = key.id;
    }
    LPCWSTR get() const { return text.empty() ? MAKEINTRESOURCEW(id) : text.c_str(); }

private:
    std::wstring text;
    uint32_t id = 0;
};

ResourceKey keyOf(LPCWSTR key) {
    if (IS_INTRESOURCE(key)) return ResourceKey(uint32_t(reinterpret_cast<uintptr_t>(key)));
    std::string text;
    for (; *key; ++key) text += char(*key);
    return ResourceKey(std::move(text));
}

// Every resource of a module, found by walking its types, names and
// languages; each entry's bytes come from the same lookup findResource uses.
struct Walk {
    HMODULE module;
    std::vector<ResourceEntry> entries;
};

BOOL CALLBACK addLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR walk) {
    const ResourceKey typeKey = keyOf(type), nameKey = keyOf(name);
    if (const std::optional<Resource> bytes = findResource(module, typeKey, nameKey, language))
        reinterpret_cast<Walk*>(walk)->entries.push_back({typeKey, nameKey, language, *bytes});
    return TRUE;
}

BOOL CALLBACK addName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR walk) {
    EnumResourceLanguagesW(module, type, name, addLanguage, walk);
    return TRUE;
}

BOOL CALLBACK addType(HMODULE module, LPWSTR type, LONG_PTR walk) {
    EnumResourceNamesW(module, type, addName, walk);
    return TRUE;
}

}  // namespace

ModuleHandle moduleOf(const void* address) {
    HMODULE module = nullptr;
    if (!address ||
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return nullptr;
    return module;
}

ModuleHandle currentModule() { return moduleOf(reinterpret_cast<const void*>(&currentModule)); }

const ResourceTable& moduleResources(ModuleHandle module) {
    static const ResourceTable empty;
    static const ResourceTable own = [] {
        Walk walk{toHandle(currentModule()), {}};
        EnumResourceTypesW(walk.module, addType, reinterpret_cast<LONG_PTR>(&walk));
        return ResourceTable(std::move(walk.entries));
    }();
    return module && module == currentModule() ? own : empty;
}

std::optional<Resource> findResource(ModuleHandle module, const ResourceKey& type, const ResourceKey& name,
                                     uint32_t language) {
    if (!module || (language != kAnyLanguage && language > 0xFFFF)) return std::nullopt;
    const WideKey typeText(type), nameText(name);
    HMODULE handle = toHandle(module);
    HRSRC found = language == kAnyLanguage ? FindResourceW(handle, nameText.get(), typeText.get())
                                           : FindResourceExW(handle, typeText.get(), nameText.get(), WORD(language));
    if (!found) return std::nullopt;
    HGLOBAL loaded = LoadResource(handle, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return std::nullopt;
    return Resource{static_cast<const uint8_t*>(bytes), size_t(SizeofResource(handle, found))};
}

}  // namespace platform
