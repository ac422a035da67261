// Shared pieces of the end-to-end suites: hosts of either kind at any depth
// over a fixture module, and the integer a host world holds for a value.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "hostsim/Host.h"

namespace e2e {

struct HostDepth {
    hostsim::HostKind kind;
    uint32_t depth;
};

inline const HostDepth kEveryHostAndDepth[] = {
    {hostsim::HostKind::Compositing, 8}, {hostsim::HostKind::Compositing, 16}, {hostsim::HostKind::Compositing, 32},
    {hostsim::HostKind::Editing, 8},     {hostsim::HostKind::Editing, 16},     {hostsim::HostKind::Editing, 32}};

inline std::string hostDepthName(const testing::TestParamInfo<HostDepth>& info) {
    return std::string(info.param.kind == hostsim::HostKind::Editing ? "Editing" : "Compositing") +
           std::to_string(info.param.depth);
}

inline hostsim::HostConfig hostConfig(hostsim::HostKind kind, uint32_t depth = 8) {
    hostsim::HostConfig config;
    config.kind = kind;
    config.depth = depth;
    return config;
}

// The integer an 8-bit (0..255) or 16-bit (0..32768) world stores for the
// image value v; hostsim's images hold stored / 255 and stored / 32768.
inline long stored(float v, uint32_t depth) { return std::lround(v * (depth == 8 ? 255.0f : 32768.0f)); }

// After finish(): nothing held, nothing misused, nothing left allocated.
inline void expectNothingLeftBehind(hostsim::Host& host) {
    EXPECT_TRUE(host.suites().outstanding().empty());
    EXPECT_EQ(host.suites().unmatchedReleases(), 0);
    EXPECT_EQ(host.checkedOutParams(), 0);
    EXPECT_EQ(host.unmatchedCheckins(), 0);
    EXPECT_EQ(host.handles().badCalls(), 0u);
    EXPECT_EQ(host.handles().leaks(), std::vector<std::string>{});
}

}  // namespace e2e
