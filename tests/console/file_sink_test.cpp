#include "console/file_sink.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ports/status.h"
#include "tests/console/console_harness.h"

namespace flashkit::testing {
namespace {

// Three 128-byte blocks carrying a 300-byte file, the last filled with 0x1A.
std::string ThreeBlocksOf300() {
  std::string data(384, '\x1A');
  for (size_t i = 0; i < 300; ++i) data[i] = static_cast<char>('a' + i % 26);
  return data;
}

struct SizeCase {
  const char* name;
  std::optional<uint32_t> declared;  // nothing: XMODEM, no header
  std::vector<int32_t> results;      // per block, then for the end-of-file call
  size_t kept;
};

class SinkSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SinkSize, CutsToTheDeclaredSize) {
  const SizeCase& row = GetParam();
  TempDir dir;
  ScopedWorkingDir cwd(dir.path());
  CapturedOut out;
  FileHandle file;
  FileSink sink(file, out);
  if (row.declared) {
    ASSERT_EQ(sink.BeginFile("got.bin", *row.declared), 0);
  } else {
    file.reset(std::fopen("got.bin", "w+b"));
  }
  const std::string data = ThreeBlocksOf300();
  std::vector<int32_t> results;
  for (size_t at = 0; at < data.size(); at += 128) {
    results.push_back(sink.WriteData(reinterpret_cast<const uint8_t*>(data.data()) + at, 128));
  }
  results.push_back(sink.WriteData(nullptr, 0));
  ASSERT_TRUE(CloseChecked(file));
  EXPECT_EQ(results, row.results);
  EXPECT_EQ(ReadFile("got.bin"), data.substr(0, row.kept));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SinkSize,
    ::testing::Values(SizeCase{"YMODEM declared 300", 300, {128, 128, 44, 0}, 300},
                      SizeCase{"XMODEM keeps the fill", std::nullopt, {128, 128, 128, 0}, 384},
                      SizeCase{"declared 0 keeps the fill", 0, {128, 128, 128, 0}, 384},
                      SizeCase{"declared 200 drops the last block", 200, {128, 72, 0, 0}, 200}),
    [](const auto& info) { return RowName(info.param.name); });

TEST(FileSink, ProgressShowsTheStateBeforeEachBlock) {
  TempDir dir;
  ScopedWorkingDir cwd(dir.path());
  CapturedOut out;
  FileHandle file;
  FileSink sink(file, out);
  std::vector<uint8_t> block(1024, 0x55);
  ASSERT_EQ(sink.BeginFile("fw.bin", 2048), 0);
  EXPECT_EQ(sink.WriteData(block.data(), 1024), 1024);
  EXPECT_EQ(sink.WriteData(block.data(), 1024), 1024);
  EXPECT_EQ(sink.WriteData(nullptr, 0), 0);
  EXPECT_EQ(out.text(),
            "Receiving fw.bin...\n"
            "       0 bytes of 2048 -   0%\r"
            "    1024 bytes of 2048 -  50%\r"
            "    2048 bytes of 2048 - 100%\r");
}

struct NameCase {
  const char* name;
  bool accepted;
};

class ReceivedName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ReceivedName, OnlyPlainRelativeNamesAreCreated) {
  TempDir dir;
  std::filesystem::create_directory(dir / "work");
  std::filesystem::create_directory(dir / "work" / "sub");
  ScopedWorkingDir cwd(dir / "work");
  CapturedOut out;
  FileHandle file;
  FileSink sink(file, out);
  std::string name = GetParam().name;
  if (name.starts_with("<abs>")) name = (dir / name.substr(5)).string();

  int32_t result = sink.BeginFile(name.c_str(), 10);
  if (GetParam().accepted) {
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(file);
    EXPECT_EQ(out.text(), "Receiving " + name + "...\n");
  } else {
    EXPECT_EQ(result, status::kSinkFailed);
    EXPECT_FALSE(file);
    EXPECT_EQ(out.text(), "");
    // Nothing was created anywhere in reach.
    size_t entries = 0;
    for (auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
      entries += entry.is_regular_file();
    }
    EXPECT_EQ(entries, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ReceivedName,
                         ::testing::Values(NameCase{"fw.bin", true},
                                           NameCase{"sub/fw.bin", true},
                                           NameCase{"..fw.bin", true},
                                           NameCase{"fw..bin", true},
                                           NameCase{"sub/..x/../", false},
                                           NameCase{"../escaped.bin", false},
                                           NameCase{"sub/../../escaped.bin", false},
                                           NameCase{"..", false},
                                           NameCase{"sub/..", false},
                                           NameCase{"..\\escaped.bin", false},
                                           NameCase{"sub\\..\\..\\escaped.bin", false},
                                           NameCase{"<abs>escaped.bin", false},
                                           NameCase{"\\escaped.bin", false},
                                           NameCase{"C:escaped.bin", false},
                                           NameCase{"c:\\escaped.bin", false}),
                         [](const auto& info) {
                           std::string name = std::to_string(info.index);
                           name.insert(0, 1, 'n');
                           return name.append("_").append(RowName(info.param.name));
                         });

TEST(FileSink, NameFromHeaderIgnoredOnceFile1IsOpen) {
  TempDir dir;
  ScopedWorkingDir cwd(dir.path());
  CapturedOut out;
  FileHandle file(std::fopen("mine.bin", "w+b"));
  FileSink sink(file, out);
  EXPECT_EQ(sink.BeginFile("theirs.bin", 4), 0);
  EXPECT_EQ(out.text(), "");
  EXPECT_FALSE(std::filesystem::exists("theirs.bin"));
  const uint8_t data[128] = {'a', 'b', 'c', 'd', 'e'};
  EXPECT_EQ(sink.WriteData(data, 128), 4);
  // A second header after data is refused.
  EXPECT_EQ(sink.BeginFile("again.bin", 4), status::kSinkFailed);
  ASSERT_TRUE(CloseChecked(file));
  EXPECT_EQ(ReadFile("mine.bin"), "abcd");
}

TEST(FileSink, FailuresAreStatus400) {
  CapturedOut out;
  FileHandle none;
  FileSink without_file(none, out);
  const uint8_t data[128] = {};
  EXPECT_EQ(without_file.WriteData(data, 128), status::kSinkFailed);

  TempDir dir;
  ScopedWorkingDir cwd(dir.path());
  FileHandle blocked;
  FileSink sink(blocked, out);
  EXPECT_EQ(sink.BeginFile("no/such/dir.bin", 1), status::kSinkFailed);
  EXPECT_FALSE(blocked);

  // Even a first small block that fits the stdio buffer reports a full disk.
  FileHandle full(std::fopen("/dev/full", "w+b"));
  ASSERT_TRUE(full);
  FileSink full_sink(full, out);
  EXPECT_EQ(full_sink.WriteData(data, 128), status::kSinkFailed);
}

}  // namespace
}  // namespace flashkit::testing
