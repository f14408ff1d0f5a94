#include "com/resource.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(ResourceTest, ResourcesAddedByTheBuildAreReadBackFromTheFile) {
  struct Case {
    comrt::ResourceType type;
    uint32_t id;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"TYPELIB", 1, FileBytes(RESOURCE_SOURCE)},
      {"typelib", 1, FileBytes(RESOURCE_SOURCE)},
      {"_IID_QELRURUZOZ", 1, {0x10, 0, 0, 0, 0x04, 0xff, 0x22, 0xc8, 0x57, 0x7c, 0xb4, 0x42, 0xa1, 0x5e, 0xba, 0xba,
                              0x4b, 0x90, 0x62, 0xdd}},
      {comrt::kVersionResource, 1, Bytes("CompanyName=Qelvar\nFileVersion=1.00.0046\n")},
      {"EMPTY", 7, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type.name + std::to_string(c.type.number));
    std::string error;
    const auto bytes = comrt::ReadResource(RESOURCE_FIXTURE, c.type, c.id, &error);
    ASSERT_TRUE(bytes) << error;
    EXPECT_EQ(*bytes, c.bytes);
  }
  ASSERT_GT(FileBytes(RESOURCE_SOURCE).size(), 1000u);

  const auto list = comrt::ListResources(RESOURCE_FIXTURE);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 4u);
  EXPECT_EQ((*list)[2].type, comrt::ResourceType(16));
  EXPECT_EQ((*list)[2].language, 1033u);
  EXPECT_EQ((*list)[0].language, 0u);
  EXPECT_EQ((*list)[1].size, 20u);
}

TEST(ResourceTest, AbsentResourcesAndUnfitFilesFailCleanly) {
  const std::string folder = testing::TempDir() + "qelres." + std::to_string(getpid());
  std::filesystem::create_directories(folder);
  const std::vector<uint8_t> fixture = FileBytes(RESOURCE_FIXTURE);
  const auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  };
  std::vector<uint8_t> big_endian = fixture;
  big_endian[5] = 2;
  std::vector<uint8_t> bad_section_table = fixture;
  bad_section_table[0x28] = 0xff;  // e_shoff far beyond the end
  bad_section_table[0x2f] = 0x7f;

  struct Case {
    std::string path;
    comrt::ResourceType type;
    uint32_t id;
    std::string error;
  };
  const Case cases[] = {
      {RESOURCE_FIXTURE, "TYPELIB", 2, "has no resource TYPELIB 2"},
      {RESOURCE_FIXTURE, 1u, 1, "has no resource 1 1"},
      {RESOURCE_FIXTURE, "VERSION", 1, "has no resource VERSION 1"},
      {folder + "/missing.so", "TYPELIB", 1, "No such file"},
      {folder, "TYPELIB", 1, "not a regular file"},
      {write("empty.so", {}), "TYPELIB", 1, "outside the file"},
      {write("text.so", Bytes("just some text that is long enough to fill the sixty-four bytes of an ELF header")), "TYPELIB", 1,
       "not an ELF file"},
      {write("big.so", big_endian), "TYPELIB", 1, "not a 64-bit little-endian"},
      {write("table.so", bad_section_table), "TYPELIB", 1, "outside the file"},
      {TEST_PROGRAM, "TYPELIB", 1, "carries no resources"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string error;
    EXPECT_FALSE(comrt::ReadResource(c.path, c.type, c.id, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  std::filesystem::remove_all(folder);
}

TEST(ResourceTest, EveryCutOfTheFileFailsCleanlyOrReadsTheWholeResource) {
  const std::vector<uint8_t> fixture = FileBytes(RESOURCE_FIXTURE);
  const std::vector<uint8_t> expected = FileBytes(RESOURCE_SOURCE);
  const std::string path = testing::TempDir() + "qelres-cut." + std::to_string(getpid()) + ".so";
  for (size_t length = 0; length < fixture.size(); length += 1 + length / 16) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(fixture.data()), static_cast<std::streamsize>(length));
    const auto bytes = comrt::ReadResource(path, "TYPELIB", 1);
    if (bytes) {
      EXPECT_EQ(*bytes, expected) << length;
    }
  }
  std::filesystem::remove(path);
}

}  // namespace
