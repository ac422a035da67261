// Running effects through the stand-in host, outside any real host: the
// render library. Rules for all of it:
// Errors: a value the caller got wrong (an option, a parameter value, an
// output name) throws UsageError naming it and the offending text; what the
// host or a module reports throws hostsim::Error, and files that cannot be
// read or written media::Error, each naming the file, key or value at
// fault. Nothing is printed: progress and notes go to the caller's
// callbacks, results come back as return values.
// Threads: every module call is made from the calling thread, one at a
// time, as from a host; media/ decodes and encodes on threads of its own.
// Ownership: sessions and jobs own the modules, hosts and files they open
// and release them when they end, also when they end by an exception.
#pragma once

#include <stdexcept>

namespace render {

// A request the library cannot act on as given.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace render
