// flashkit's command line: the GNU forms it accepts, in any order, and the
// mistakes that stop it before any board is touched.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include <string>
#include <vector>

#include "flashkit/options.h"
#include "flashkit/rack.h"

namespace flashkit::rack {
namespace {

ParsedLine Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "flashkit");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  return ParseRackLine(static_cast<int>(argv.size()), argv.data());
}

struct AcceptedRow {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::string> ports;
  std::string file;
};

class AcceptedLine : public ::testing::TestWithParam<AcceptedRow> {};

TEST_P(AcceptedLine, NamesThePortsInOrder) {
  const ParsedLine parsed = Parse(GetParam().args);
  ASSERT_EQ(parsed.kind, ParsedLine::Kind::kRun) << parsed.text;
  const RackOptions& o = parsed.options;
  EXPECT_EQ(o.command == Command::kUsb ? o.devices : o.ports, GetParam().ports);
  EXPECT_EQ(o.file, GetParam().file);
}

const AcceptedRow kAccepted[] = {
    {"ValueAttachedSeparateOrAfterEquals",
     {"ymodem", "-p3", "-p", "COM4", "--port=/dev/ttyUSB0", "--port", "com12", "fw.bin"},
     {"3", "COM4", "/dev/ttyUSB0", "com12"}, "fw.bin"},
    {"FileBeforeTheOptions", {"mcu", "fw.bin", "--verify", "-b", "57600", "-p", "7"}, {"7"}, "fw.bin"},
    {"DoubleDashEndsTheOptions", {"ymodem", "-p3", "--", "-odd-name.bin"}, {"3"}, "-odd-name.bin"},
    {"UsbEntriesByName", {"usb", "-d", "1-1.2", "--device=1-1.3", "--condition", "finish", "root.img"},
     {"1-1.2", "1-1.3"}, "root.img"},
};

INSTANTIATE_TEST_SUITE_P(Flashkit, AcceptedLine, ::testing::ValuesIn(kAccepted),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusedRow {
  const char* name;
  std::vector<std::string> args;
  const char* says;
};

class RefusedLine : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(RefusedLine, IsAUsageError) {
  const ParsedLine parsed = Parse(GetParam().args);
  ASSERT_EQ(parsed.kind, ParsedLine::Kind::kUsageError);
  EXPECT_NE(parsed.text.find(GetParam().says), std::string::npos) << parsed.text;
}

const RefusedRow kRefused[] = {
    {"NoCommand", {}, "a command is missing"},
    {"UnknownCommand", {"flash", "fw.bin"}, "unknown command 'flash'"},
    {"UnknownOption", {"ymodem", "-p3", "--fast", "fw.bin"}, "unknown option --fast"},
    {"OptionOfAnotherCommand", {"usb", "-d", "x", "--verify", "fw.bin"}, "--verify is not an option of usb"},
    {"MissingValueAtTheEnd", {"mcu", "fw.bin", "-p"}, "-p needs a value"},
    {"ValueOnASwitch", {"mcu", "-p3", "--verify=yes", "fw.bin"}, "--verify takes no value"},
    {"PortThatIsNoPort", {"ymodem", "-pttyUSB0", "fw.bin"}, "bad value 'ttyUSB0' for -p"},
    {"PortZero", {"ymodem", "-p", "COM0", "fw.bin"}, "bad value 'COM0'"},
    {"BaudThatIsNoNumber", {"mcu", "-p3", "-b", "fast", "fw.bin"}, "bad value 'fast' for -b"},
    {"BadCondition", {"usb", "-d", "x", "--condition", "later", "fw.bin"}, "run or finish"},
    {"WithinWithoutExpect", {"ymodem", "-p3", "--within", "5", "fw.bin"}, "give both"},
    {"NoFile", {"ymodem", "-p3"}, "the image file is missing"},
    {"TwoFiles", {"ymodem", "-p3", "a.bin", "b.bin"}, "'b.bin' is one too many"},
    {"NoBoard", {"mcu", "fw.bin"}, "name the ports with -p PORT, or --all"},
    {"AllBesideNames", {"mcu", "--all", "-p3", "fw.bin"}, "name none beside it"},
};

INSTANTIATE_TEST_SUITE_P(Flashkit, RefusedLine, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

// What keeps an image from any board, found once before they start.
TEST(RackImage, SaysWhyItCannotBeSent) {
  const std::string dir = ::testing::TempDir() + "/rack-image";
  std::filesystem::create_directories(dir);
  std::fclose(std::fopen((dir + "/empty.bin").c_str(), "wb"));
  EXPECT_NE(ReadImage(dir + "/missing.bin").unreadable.find("does not exist"), std::string::npos);
  EXPECT_NE(ReadImage(dir).unreadable.find("is a folder"), std::string::npos);
  EXPECT_NE(ReadImage(dir + "/empty.bin").unreadable.find("is empty"), std::string::npos);
  EXPECT_EQ(LogFileName("/dev/serial/by-id/usb-FTDI_A5:0"), "flashkit-dev_serial_by-id_usb-FTDI_A5_0.log");
}

}  // namespace
}  // namespace flashkit::rack
