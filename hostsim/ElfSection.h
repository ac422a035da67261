// Reads one section of an ELF file from disk without loading the file, the
// way a host reads a module's registration before it runs any of its code.
// Throws hostsim::Error naming the file and the section on any failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hostsim {

// With `address`, also gives where the section sits in the loaded image,
// relative to the module's base (its sh_addr).
std::vector<uint8_t> readElfSection(const std::string& path, const std::string& sectionName,
                                    uint64_t* address = nullptr);

}  // namespace hostsim
