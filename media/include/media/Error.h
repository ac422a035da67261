// The one exception type of the media library: its message names the file
// and gives the cause.
#pragma once

#include <stdexcept>

namespace media {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace media
