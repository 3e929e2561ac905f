#include "console/file_source.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "console/file_handle.h"
#include "tests/console/console_harness.h"

namespace flashkit::testing {
namespace {

std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + 3);
  return data;
}

struct Opened {
  FileHandle file;
  std::optional<int32_t> size;
};

Opened OpenAndMeasure(const std::filesystem::path& path) {
  Opened o{FileHandle(std::fopen(path.string().c_str(), "rb")), std::nullopt};
  if (o.file) o.size = FileSource::Measure(o.file.get());
  return o;
}

struct SourceCase {
  const char* name;
  size_t file_size;
  size_t size_after_measuring;  // the file shrinks or grows while being sent
  std::vector<int32_t> results;  // of ReadChunk(1024), one call each
};

class Source : public ::testing::TestWithParam<SourceCase> {};

TEST_P(Source, HandsOutTheMeasuredBytes) {
  const SourceCase& row = GetParam();
  TempDir dir;
  const std::string content = Pattern(std::max(row.file_size, row.size_after_measuring));
  WriteFile(dir / "image.bin", content.substr(0, row.file_size));
  Opened opened = OpenAndMeasure(dir / "image.bin");
  ASSERT_EQ(opened.size, static_cast<int32_t>(row.file_size));
  if (row.size_after_measuring < row.file_size) {
    std::filesystem::resize_file(dir / "image.bin", row.size_after_measuring);
  } else {
    WriteFile(dir / "image.bin", content);
  }

  CapturedOut out;
  FileSource source(opened.file.get(), *opened.size, out);
  std::vector<int32_t> results;
  std::string handed;
  do {
    uint8_t buffer[1024];
    results.push_back(source.ReadChunk(buffer, sizeof buffer));
    if (results.back() > 0) handed.append(reinterpret_cast<char*>(buffer), results.back());
  } while (results.back() > 0 && results.size() < 100);
  EXPECT_EQ(results, row.results);
  EXPECT_EQ(handed, content.substr(0, handed.size()));
}

// Files past the stdio buffer, so that the change on disk is seen.
INSTANTIATE_TEST_SUITE_P(
    Rows, Source,
    ::testing::Values(
        SourceCase{"whole chunks", 10240, 10240,
                   {1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 0}},
        SourceCase{"short last chunk", 10000, 10000,
                   {1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 784, 0}},
        SourceCase{"empty file", 0, 0, {0}},
        SourceCase{"file shrank", 10000, 5000, {1024, 1024, 1024, 1024, 904, -300}},
        SourceCase{"file grew: only the measured bytes go out", 10000, 12000,
                   {1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 784, 0}}),
    [](const auto& info) { return RowName(info.param.name); });

struct ProgressCase {
  const char* name;
  size_t file_size;
  std::vector<std::string> lines;  // printed by each ReadChunk(1024)
};

class Progress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(Progress, ShowsTheStateBeforeEachRead) {
  TempDir dir;
  WriteFile(dir / "image.bin", Pattern(GetParam().file_size));
  Opened opened = OpenAndMeasure(dir / "image.bin");
  ASSERT_TRUE(opened.size);
  CapturedOut out;
  FileSource source(opened.file.get(), *opened.size, out);
  std::vector<std::string> lines;
  for (size_t i = 0; i < GetParam().lines.size(); ++i) {
    out.Clear();
    uint8_t buffer[1024];
    source.ReadChunk(buffer, sizeof buffer);
    lines.push_back(out.text());
  }
  EXPECT_EQ(lines, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Progress,
    ::testing::Values(
        ProgressCase{"two chunks",
                     2048,
                     {"Sending :        0 bytes of Total 2048 bytes - Percents :   0%\r",
                      "Sending :     1024 bytes of Total 2048 bytes - Percents :  50%\r",
                      "Sending :     2048 bytes of Total 2048 bytes - Percents : 100%\r"}},
        ProgressCase{"percent truncated",
                     1500,
                     {"Sending :        0 bytes of Total 1500 bytes - Percents :   0%\r",
                      "Sending :     1024 bytes of Total 1500 bytes - Percents :  68%\r",
                      "Sending :     1500 bytes of Total 1500 bytes - Percents : 100%\r"}},
        ProgressCase{"empty file",
                     0,
                     {"Sending :        0 bytes of Total 0 bytes - Percents :   0%\r"}}),
    [](const auto& info) { return RowName(info.param.name); });

struct MeasureCase {
  const char* name;
  uint64_t size;
  std::optional<int32_t> measured;
};

class Measure : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(Measure, TakesTheLengthAndRewinds) {
  TempDir dir;
  WriteFile(dir / "image.bin", "");
  std::filesystem::resize_file(dir / "image.bin", GetParam().size);  // sparse: costs nothing
  FileHandle file(std::fopen((dir / "image.bin").string().c_str(), "rb"));
  ASSERT_TRUE(file);
  EXPECT_EQ(FileSource::Measure(file.get()), GetParam().measured);
  if (GetParam().measured) {
    EXPECT_EQ(std::ftell(file.get()), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Measure,
    ::testing::Values(MeasureCase{"empty", 0, 0}, MeasureCase{"small", 300, 300},
                      MeasureCase{"largest signed 32-bit", 0x7FFFFFFF, 0x7FFFFFFF},
                      MeasureCase{"2 GiB does not fit", 0x80000000u, std::nullopt}),
    [](const auto& info) { return RowName(info.param.name); });

}  // namespace
}  // namespace flashkit::testing
