// The shipping stub's resources as the packer reads and rewrites them.
#include <gtest/gtest.h>

#include <algorithm>

#include "pack_test_support.h"
#include "packer/stub/execution_level.h"
#include "packer/stub/pe_image.h"
#include "packer/stub/stub_image.h"
#include "packer/system/pack_error.h"

namespace {

uint32_t Le32(const Bytes& b, size_t at)
{
    return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}

// The bytes of data directory `index` (rva, size), found through the section table.
Bytes DirectoryBytes(const Bytes& pe, int index)
{
    size_t header = Le32(pe, 0x3C), optional = header + 24;
    size_t directories = optional + (pe[optional] == 0x0B && pe[optional + 1] == 0x01 ? 96 : 112);
    uint32_t rva = Le32(pe, directories + 8 * index), size = Le32(pe, directories + 8 * index + 4);
    size_t sections = optional + (pe[header + 20] | pe[header + 21] << 8);
    for (size_t s = 0; s < (size_t)(pe[header + 6] | pe[header + 7] << 8); ++s) {
        size_t h = sections + 40 * s;
        uint32_t va = Le32(pe, h + 12), raw = Le32(pe, h + 20);
        if (rva >= va && rva - va < Le32(pe, h + 16))
            return Bytes(pe.begin() + raw + (rva - va), pe.begin() + raw + (rva - va) + size);
    }
    return {};
}

std::vector<IconImage> Icon(const char* file)
{
    return ParseIconFile(ReadBytes(std::string(MORLU_SOURCE_DIR) + "/tests/demo/product/" + file));
}

size_t CountType(const std::vector<Resource>& resources, uint16_t type)
{
    return (size_t)std::count_if(resources.begin(), resources.end(),
                                 [&](const Resource& r) { return r.type.name.empty() && r.type.id == type; });
}

// Branded twice, as a stub that already has an icon and version information
// would be: the second icon and strings take their place, nothing else moves.
TEST(StubImage, BrandingReplacesAnIconGroupAndVersionTheStubHas)
{
    for (const char* build : {"win32", "win64"}) {
        std::string path = std::string(MORLU_SOURCE_DIR) + "/build/" + build + "/setup-stub.exe";
        ASSERT_TRUE(Exists(path)) << path << " is not built (scripts/build)";
        Bytes stub = ReadBytes(path);
        Branding first{Icon("morlu0.ico"), {{"ProductName", "one"}}, ""};
        Bytes once = BrandStub(stub, first);
        Branding second{Icon("morlu1.ico"), {{"ProductName", "two"}}, ""};
        Bytes twice = BrandStub(once, second);
        ASSERT_NO_THROW(CheckStub(twice)) << build;

        std::vector<Resource> before = ReadResources(stub), after = ReadResources(twice);
        EXPECT_EQ(CountType(after, kResourceGroupIcon), 1u) << build;
        EXPECT_EQ(CountType(after, kResourceIcon), 1u) << build << ": the first icon's image is gone";
        EXPECT_EQ(CountType(after, kResourceVersion), 1u) << build;
        for (const Resource& r : after) {
            if (r.type.id == kResourceIcon) {
                EXPECT_TRUE(r.data == second.icon[0].data) << build;
            }
            if (r.type.id == kResourceVersion) {
                EXPECT_TRUE(r.data == VersionResource(second.versionStrings)) << build;
            }
        }
        for (const Resource& r : before) {
            bool kept = std::any_of(after.begin(), after.end(), [&](const Resource& a) {
                return a.type == r.type && a.name == r.name && a.language == r.language && a.data == r.data;
            });
            EXPECT_TRUE(kept) << build << ": resource of type " << r.type.id << " lost";
        }
        // The base relocations moved behind the grown resource section, unchanged.
        EXPECT_TRUE(DirectoryBytes(once, 5) == DirectoryBytes(stub, 5)) << build;
        EXPECT_TRUE(DirectoryBytes(twice, 5) == DirectoryBytes(stub, 5)) << build;
        EXPECT_EQ(Le32(once, Le32(once, 0x3C) + 24 + 56) % 0x1000, 0u) << build << ": SizeOfImage aligned";
    }
}

// Only the level's value changes, however the manifest writes the element;
// a manifest without one is refused rather than left asking for another.
TEST(ExecutionLevel, SetsTheLevelAttributeAndNothingElse)
{
    EXPECT_EQ(WithExecutionLevel("<x><v3:requestedExecutionLevel uiAccess='false' level='asInvoker'/></x>",
                                 "requireAdministrator"),
              "<x><v3:requestedExecutionLevel uiAccess='false' level='requireAdministrator'/></x>");
    EXPECT_EQ(WithExecutionLevel("<requestedExecutionLevel\n  level = \"highestAvailable\" ></requestedExecutionLevel>",
                                 "asInvoker"),
              "<requestedExecutionLevel\n  level = \"asInvoker\" ></requestedExecutionLevel>");
    for (const char* none : {"<!-- requestedExecutionLevel level=\"a\" --><requestedExecutionLevels level=\"a\"/>",
                             "<requestedExecutionLevel uiAccess=\"false\"/><other level=\"a\"/>",
                             "<requestedExecutionLevel xlevel=\"a\"/>"})
        EXPECT_THROW(WithExecutionLevel(none, "asInvoker"), PackError) << none;
    EXPECT_EQ(ExecutionLevelNamed("REQUIREADMINISTRATOR"), "requireAdministrator");
    EXPECT_EQ(ExecutionLevelNamed("admin"), "");
}

} // namespace
