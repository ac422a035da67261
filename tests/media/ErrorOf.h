// The media tests' way to look at a failure: the message of the media::Error
// that a call throws, or "no error".
#pragma once

#include <functional>
#include <string>

#include "media/Error.h"

namespace mediatest {

inline std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const media::Error& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace mediatest
