#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "platform/Resources.h"

using namespace testing_support;

namespace {

std::vector<platform::ResourceItem> sampleSpecs() {
    return {
        {10, "BLOB", 0, bytesOf("blob bytes")},
        {"PIPL", 16000, 1033, bytesOf("registration")},
        {"PIPL", 16000, 1031, bytesOf("registrierung")},
        {"TEXT", "notes", 0, {}},
    };
}

void putU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
}

TEST(ResourceTable, FindsByTypeNameAndLanguage) {
    const TestModule module(sampleSpecs());
    auto text = [&](const std::optional<platform::Resource>& r) {
        return r ? std::string(reinterpret_cast<const char*>(r->data), r->size) : std::string("<none>");
    };
    EXPECT_EQ(text(module.table.find(10, "BLOB")), "blob bytes");
    EXPECT_EQ(text(module.table.find("PIPL", 16000, 1031)), "registrierung");
    EXPECT_EQ(text(module.table.find("PIPL", 16000)), "registration");
    EXPECT_EQ(text(module.table.find("TEXT", "notes")), "");
    EXPECT_EQ(text(module.table.find(10, "blob")), "<none>");
    EXPECT_EQ(text(module.table.find("BLOB", 10)), "<none>");
    EXPECT_EQ(text(module.table.find("PIPL", 16000, 1036)), "<none>");
    EXPECT_EQ(module.table.entries().size(), 4u);
}

TEST(ResourceTable, DamagedTablesAreRejected) {
    const std::vector<uint8_t> good = platform::writeResourceTable(sampleSpecs());
    // Entry 0 starts at byte 16: type, name, language, reserved, offset, size.
    const struct {
        const char* what;
        size_t at;
        uint32_t value;
    } damages[] = {
        {"bad magic", 0, 0x5853584C},
        {"too many entries", 8, 0x0AAAAAAA},
        {"size beyond the bytes", 12, uint32_t(good.size() + 1)},
        {"size below the header", 12, 8},
        {"name string outside", 16 + 4, 0x80000000u | uint32_t(good.size() - 2)},
        {"reserved word set", 16 + 12, 1},
        {"data offset outside", 16 + 16, uint32_t(good.size())},
        {"data size outside", 16 + 20, 0xFFFFFFF0u},
    };
    for (const auto& d : damages) {
        SCOPED_TRACE(d.what);
        std::vector<uint8_t> bytes = good;
        putU32(bytes, d.at, d.value);
        EXPECT_THROW(platform::parseResourceTable(bytes.data(), bytes.size()), platform::ResourceTableError);
    }
    for (size_t cut : {size_t(0), size_t(15), good.size() - 1}) {
        SCOPED_TRACE(cut);
        EXPECT_THROW(platform::parseResourceTable(good.data(), cut), platform::ResourceTableError);
    }
    // Bytes after the table (section padding) are allowed.
    std::vector<uint8_t> padded = good;
    padded.resize(good.size() + 24, 0);
    EXPECT_EQ(platform::parseResourceTable(padded.data(), padded.size()).entries().size(), 4u);
}

TEST(ResourceTable, OnlyTheOwnModuleHandleSeesTheTable) {
    EXPECT_FALSE(platform::moduleResources(platform::currentModule()).entries().empty());
    EXPECT_TRUE(platform::moduleResources(nullptr).entries().empty());
    const platform::ModuleHandle libc = platform::moduleOf(reinterpret_cast<const void*>(&std::strlen));
    ASSERT_NE(libc, nullptr);
    EXPECT_NE(libc, platform::currentModule());
    EXPECT_TRUE(platform::moduleResources(libc).entries().empty());
}

}  // namespace
