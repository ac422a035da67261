#include "ElfSection.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "hostsim/Error.h"

namespace hostsim {
namespace {

struct FileDescriptor {
    int fd;
    explicit FileDescriptor(int f) : fd(f) {}
    ~FileDescriptor() {
        if (fd >= 0) close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
};

struct ElfCloser {
    void operator()(Elf* e) const { elf_end(e); }
};

}  // namespace

std::vector<uint8_t> readElfSection(const std::string& path, const std::string& sectionName, uint64_t* address) {
    if (elf_version(EV_CURRENT) == EV_NONE) throw Error("libelf is out of date: " + std::string(elf_errmsg(-1)));

    FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) throw Error("cannot open " + path + ": " + std::strerror(errno));

    std::unique_ptr<Elf, ElfCloser> elf(elf_begin(file.fd, ELF_C_READ, nullptr));
    if (!elf || elf_kind(elf.get()) != ELF_K_ELF) throw Error(path + " is not an ELF file");

    size_t namesIndex = 0;
    if (elf_getshdrstrndx(elf.get(), &namesIndex) != 0)
        throw Error(path + " has a damaged section table: " + elf_errmsg(-1));

    for (Elf_Scn* scn = elf_nextscn(elf.get(), nullptr); scn; scn = elf_nextscn(elf.get(), scn)) {
        GElf_Shdr header;
        if (!gelf_getshdr(scn, &header)) continue;
        const char* name = elf_strptr(elf.get(), namesIndex, header.sh_name);
        if (!name || sectionName != name) continue;
        if (header.sh_type == SHT_NOBITS)
            throw Error("section " + sectionName + " of " + path + " holds no bytes in the file");
        if (address) *address = header.sh_addr;
        Elf_Data* data = elf_rawdata(scn, nullptr);
        if (!data || !data->d_buf) {
            if (header.sh_size == 0) return {};
            throw Error("cannot read section " + sectionName + " of " + path + ": " + elf_errmsg(-1));
        }
        const uint8_t* bytes = static_cast<const uint8_t*>(data->d_buf);
        return std::vector<uint8_t>(bytes, bytes + data->d_size);
    }
    throw Error(path + " has no " + sectionName + " section");
}

}  // namespace hostsim
