// Loading modules the way a host does: registration first, then the file.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "hostsim/ElfSection.h"
#include "hostsim/Error.h"
#include "hostsim/Loader.h"
#include "hostsim/Module.h"

using namespace hostsim;

namespace {
std::string loadError(const std::string& path) {
    try {
        Module module(path);
    } catch (const Error& e) {
        return e.what();
    }
    return "loaded";
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
}  // namespace

TEST(Module, LoadsTheEntryPointNamedInTheRegistration) {
    Module module(FAKE_MODULE_good);
    EXPECT_EQ(module.registration().name, "Fake");
    EXPECT_EQ(module.registration().category, "Tests");
    EXPECT_EQ(module.registration().matchName, "TEST Fake");
    EXPECT_EQ(module.registration().outFlags, 0x06008025u);
    ASSERT_NE(module.entryPoint(), nullptr);
    Dl_info info{};
    ASSERT_TRUE(dladdr(reinterpret_cast<void*>(module.entryPoint()), &info));
    EXPECT_EQ(module.instanceHandle(), info.dli_fbase);
    EXPECT_TRUE(contains(info.dli_fname, "fake_good"));
}

TEST(Module, RegistrationIsReadFromTheLoadedModuleAsWellAsItsFile) {
    // A copy is loaded, then its file replaced by another module's: the file
    // now gives the other registration, the loaded module still its own.
    const std::string path = testing::TempDir() + "replaced_module.so";
    const std::string other = testing::TempDir() + "replaced_module.so.new";
    std::ofstream(path, std::ios::binary) << std::ifstream(FAKE_MODULE_good, std::ios::binary).rdbuf();
    Module module(path);
    const LoadedModule loaded{nullptr, reinterpret_cast<void*>(module.entryPoint()), module.instanceHandle()};
    const auto before = readModuleResource(path, "PIPL", 16000, 1033);
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(readLoadedResource(loaded, path, "PIPL", 16000, 1033), before);

    std::ofstream(other, std::ios::binary) << std::ifstream(FAKE_MODULE_wrongkind, std::ios::binary).rdbuf();
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    const auto after = readModuleResource(path, "PIPL", 16000, 1033);
    EXPECT_NE(after, before);
    // Whatever the new file's layout, the two reads no longer agree.
    std::optional<std::vector<uint8_t>> inMemory;
    try {
        inMemory = readLoadedResource(loaded, path, "PIPL", 16000, 1033);
    } catch (const Error&) {}
    EXPECT_NE(inMemory, after);
}

TEST(Module, RegistrationProblemsAreNamed) {
    EXPECT_TRUE(contains(loadError(FAKE_MODULE_garbled), "resource table declares"));
    EXPECT_TRUE(contains(loadError(FAKE_MODULE_nopipl), "has no registration resource (PIPL 16000, language 1033)"));
    EXPECT_TRUE(contains(loadError(FAKE_MODULE_wrongkind), "is not an effect: its registration kind is 'AEGP'"));
    EXPECT_TRUE(contains(loadError(FAKE_MODULE_noentry), "does not export its entry point NoSuchEntryPoint"));
    EXPECT_TRUE(contains(loadError(FAKE_MODULE_truncated), "ends inside property"));
}

TEST(Module, FilesThatAreNotModules) {
    EXPECT_TRUE(contains(loadError("/nonexistent/effect.so"), "cannot open /nonexistent/effect.so"));
    const std::string text = testing::TempDir() + "not_elf.so";
    std::ofstream(text) << "plain text";
    EXPECT_EQ(loadError(text), text + " is not an ELF file");
    // An ELF file without the resource section: this test program.
    EXPECT_TRUE(contains(loadError("/proc/self/exe"), "has no lumivex_rsrc section"));
    EXPECT_THROW(readElfSection(FAKE_MODULE_good, ".no_such_section"), Error);
    EXPECT_FALSE(readElfSection(FAKE_MODULE_good, "lumivex_rsrc").empty());
}

#ifdef VANTREL_MODULE
TEST(Module, DefaultEffectRegistration) {
    Registration reg = readModuleRegistration(VANTREL_MODULE);
    EXPECT_EQ(reg.name, "Vantrel");
    EXPECT_EQ(reg.matchName, "ADBE Vantrel");
    EXPECT_EQ(reg.entryPoint, "EntryPointFunc");
    EXPECT_EQ(reg.apiMajor, 13);
    EXPECT_EQ(reg.apiMinor, 2);
    // The fixed output flags are part of the registered ones.
    EXPECT_EQ(reg.outFlags & 0x04008005u, 0x04008005u);
}
#endif
