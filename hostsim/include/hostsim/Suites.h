// The host's suite registry behind the basic suite: tables registered by
// name and numeric version, handed out by exact match, with counts of every
// acquisition and release per (name, version), and a switch that makes any
// suite, or one version of it, missing.
//
// The registry does not own the tables (the host that registers them does).
// A release without a matching acquisition is counted in unmatchedReleases().
// Not thread-safe: the host serialises calls into it.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace hostsim {

class SuiteRegistry {
public:
    static constexpr int32_t kAllVersions = -1;
    using Key = std::pair<std::string, int32_t>;

    void add(const std::string& name, int32_t version, const void* table);

    // Makes a registered suite (one version, or every version) fail to
    // acquire, or brings it back.
    void setMissing(const std::string& name, int32_t version = kAllVersions, bool missing = true);

    // What the basic suite's AcquireSuite and ReleaseSuite do. acquire sets
    // *table (null on failure) and returns 0 or the suite-not-found error.
    int32_t acquire(const char* name, int32_t version, const void** table);
    int32_t release(const char* name, int32_t version);

    int acquired(const std::string& name, int32_t version) const { return count(acquisitions, name, version); }
    int released(const std::string& name, int32_t version) const { return count(releases, name, version); }
    int failedAcquisitions(const std::string& name, int32_t version) const { return count(failures, name, version); }
    // Suites acquired more often than released, as "name vN (held K)".
    std::vector<std::string> outstanding() const;
    int unmatchedReleases() const { return unmatched; }
    void resetCounts();

private:
    static int count(const std::map<Key, int>& m, const std::string& name, int32_t version);
    bool isMissing(const Key& key) const;

    std::map<Key, const void*> tables;
    std::set<Key> missing;  // version kAllVersions marks the whole name
    std::map<Key, int> acquisitions, releases, failures;
    int unmatched = 0;
};

}  // namespace hostsim
