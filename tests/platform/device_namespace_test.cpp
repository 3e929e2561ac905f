#include "platform/device_namespace.h"

#include <gtest/gtest.h>

#include "tests/platform/temp_namespace.h"

namespace flashkit::platform {
namespace {

struct DigitsRow {
  const char* name;
  std::optional<std::string> digits;
};

class ComDigitsOf : public ::testing::TestWithParam<DigitsRow> {};

TEST_P(ComDigitsOf, TakesOnlyComNames) { EXPECT_EQ(ComDigits(GetParam().name), GetParam().digits); }

INSTANTIATE_TEST_SUITE_P(
    Names, ComDigitsOf,
    ::testing::Values(DigitsRow{"\\\\.\\com7", "7"}, DigitsRow{"\\\\.\\COM12", "12"},
                      DigitsRow{"\\\\.\\cOm3", "3"}, DigitsRow{"COM7", "7"}, DigitsRow{"com255", "255"},
                      DigitsRow{"\\\\.\\com007", "007"}, DigitsRow{"\\\\.\\com", std::nullopt},
                      DigitsRow{"COM7x", std::nullopt}, DigitsRow{"COM-1", std::nullopt},
                      DigitsRow{"COM1/../../etc/passwd", std::nullopt}, DigitsRow{"\\\\.\\LPT1", std::nullopt},
                      DigitsRow{"/dev/ttyS0", std::nullopt}, DigitsRow{"\\\\?\\com1", std::nullopt},
                      DigitsRow{"", std::nullopt}));

struct NodeRow {
  const char* root;
  const char* digits;
  bool com_node_exists;
  const char* path;
};

class ComNode : public ::testing::TestWithParam<NodeRow> {};

TEST_P(ComNode, FallsBackToBuiltInPortsOnlyUnderDev) {
  const NodeRow& row = GetParam();
  EXPECT_EQ(ComNodePath(row.root, row.digits, row.com_node_exists), row.path);
}

INSTANTIATE_TEST_SUITE_P(
    Roots, ComNode,
    ::testing::Values(NodeRow{"/dev", "7", true, "/dev/com7"}, NodeRow{"/dev", "7", false, "/dev/ttyS6"},
                      NodeRow{"/dev", "1", false, "/dev/ttyS0"}, NodeRow{"/dev", "007", false, "/dev/ttyS6"},
                      NodeRow{"/dev", "0", false, "/dev/com0"},
                      NodeRow{"/dev", "99999999999999999999", false, "/dev/com99999999999999999999"},
                      NodeRow{"/tmp/ns", "7", false, "/tmp/ns/com7"}, NodeRow{"/tmp/ns", "7", true, "/tmp/ns/com7"}));

TEST(DeviceNamespace, RootFromTheEnvironment) {
  testing::TempNamespace ns;
  const std::string root = ns.root().string();
  EXPECT_EQ(NamespaceRoot(), root);
  EXPECT_EQ(ResolveComName("COM7"), root + "/com7");
  EXPECT_EQ(ResolveComName("\\\\.\\com7"), root + "/com7");
  EXPECT_EQ(ResolveComName("\\\\.\\COM12"), root + "/com12");
  EXPECT_EQ(ResolveComName("\\\\.\\LPT1"), std::nullopt);
  EXPECT_EQ(ComPath(3), root + "/com3");
  EXPECT_EQ(InterfaceClassDir("{00873FDF-61A8-11D1-AA5E-00C04FB1728B}"),
            root + "/usb/{00873FDF-61A8-11D1-AA5E-00C04FB1728B}");

  setenv("FLASHKIT_DEVROOT", (root + "//").c_str(), 1);
  EXPECT_EQ(ComPath(3), root + "/com3");
}

TEST(DeviceNamespace, DefaultRootIsDev) {
  testing::TempNamespace ns;
  unsetenv("FLASHKIT_DEVROOT");
  EXPECT_EQ(NamespaceRoot(), "/dev");
  setenv("FLASHKIT_DEVROOT", "", 1);
  EXPECT_EQ(NamespaceRoot(), "/dev");
  EXPECT_EQ(ComPath(1), "/dev/com1");
}

}  // namespace
}  // namespace flashkit::platform
