// The one exception type of the stand-in host. Every failure the host can
// diagnose (a module file that cannot be read or loaded, a missing
// registration, a bad argument to a host operation) is thrown as an Error
// whose message names the file, key or value at fault.
#pragma once

#include <stdexcept>
#include <string>

namespace hostsim {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace hostsim
