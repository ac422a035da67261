#include "hostsim/Suites.h"

#include "sdk/PF_Effect.h"

namespace hostsim {

void SuiteRegistry::add(const std::string& name, int32_t version, const void* table) {
    tables[{name, version}] = table;
}

void SuiteRegistry::setMissing(const std::string& name, int32_t version, bool isMissing) {
    if (isMissing) missing.insert({name, version});
    else missing.erase({name, version});
}

bool SuiteRegistry::isMissing(const Key& key) const {
    return missing.count(key) || missing.count({key.first, kAllVersions});
}

int32_t SuiteRegistry::acquire(const char* name, int32_t version, const void** table) {
    if (!table) return kSPBadParameterError;
    *table = nullptr;
    if (!name) return kSPBadParameterError;
    Key key{name, version};
    auto it = tables.find(key);
    if (it == tables.end() || isMissing(key)) {
        ++failures[key];
        return kSPSuiteNotFoundError;
    }
    *table = it->second;
    ++acquisitions[key];
    return kSPNoError;
}

int32_t SuiteRegistry::release(const char* name, int32_t version) {
    if (!name) return kSPBadParameterError;
    Key key{name, version};
    if (count(acquisitions, key.first, version) <= count(releases, key.first, version)) {
        ++unmatched;
        return kSPBadParameterError;
    }
    ++releases[key];
    return kSPNoError;
}

int SuiteRegistry::count(const std::map<Key, int>& m, const std::string& name, int32_t version) {
    auto it = m.find({name, version});
    return it == m.end() ? 0 : it->second;
}

std::vector<std::string> SuiteRegistry::outstanding() const {
    std::vector<std::string> out;
    for (const auto& [key, n] : acquisitions) {
        int held = n - count(releases, key.first, key.second);
        if (held > 0)
            out.push_back(key.first + " v" + std::to_string(key.second) + " (held " + std::to_string(held) + ")");
    }
    return out;
}

void SuiteRegistry::resetCounts() {
    acquisitions.clear();
    releases.clear();
    failures.clear();
    unmatched = 0;
}

}  // namespace hostsim
