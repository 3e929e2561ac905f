#include "platform/interface_folder.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/device_system.h"
#include "tests/platform/temp_namespace.h"

namespace flashkit::platform {
namespace {

const std::string kBulkClass = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";

TEST(ListInterfaces, EntriesInByteOrderAsFullPaths) {
  testing::TempNamespace ns;
  const std::filesystem::path folder = ns.root() / "usb" / kBulkClass;
  std::filesystem::create_directories(folder);
  for (const char* name : {"b-device", "B-device", "a-device", "\xC3\xA9-device"}) {
    std::filesystem::create_directory(folder / name);
  }
  const auto listed = RealSystem().ListInterfaces(kBulkClass);
  ASSERT_TRUE(listed.has_value());
  const std::string base = folder.string() + "/";
  EXPECT_EQ(*listed, (std::vector<std::string>{base + "B-device", base + "a-device", base + "b-device",
                                               base + "\xC3\xA9-device"}));
}

struct FolderRow {
  const char* label;
  void (*prepare)(const std::filesystem::path& folder);
  std::optional<std::vector<std::string>> listed;
};

class InterfaceFolder : public ::testing::TestWithParam<FolderRow> {};

TEST_P(InterfaceFolder, AbsentMeansNoDeviceUnreadableMeansUnknown) {
  testing::TempNamespace ns;
  const std::filesystem::path folder = ns.root() / "usb" / kBulkClass;
  std::filesystem::create_directories(folder.parent_path());
  GetParam().prepare(folder);
  EXPECT_EQ(ListInterfaceFolder(folder.string()), GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, InterfaceFolder,
    ::testing::Values(
        FolderRow{"Missing", [](const std::filesystem::path&) {}, std::vector<std::string>{}},
        FolderRow{"Empty", [](const std::filesystem::path& f) { std::filesystem::create_directory(f); },
                  std::vector<std::string>{}},
        FolderRow{"AFileInstead", [](const std::filesystem::path& f) { std::ofstream(f) << "x"; },
                  std::vector<std::string>{}},
        FolderRow{"LinkLoop", [](const std::filesystem::path& f) { std::filesystem::create_symlink(f, f); },
                  std::nullopt}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace flashkit::platform
