// Helpers the media test suites share.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "media/Error.h"

namespace mediatest {

// An empty folder of the current test's own, "PREFIX_TESTNAME/" under the
// test temporary folder, with the trailing slash.
inline std::string folder(const std::string& prefix) {
    std::string d =
        testing::TempDir() + prefix + "_" + testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d;
}

// The message of the media::Error that `f` throws, or "no error".
inline std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const media::Error& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace mediatest
