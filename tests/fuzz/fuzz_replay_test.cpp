#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/harness/harnesses.h"

namespace flashkit::fuzz {
namespace {

namespace fs = std::filesystem;

// Inputs a fuzz target keeps: the seeds it starts from, and every input
// that once broke it (fuzz/regressions/<target>/), replayed through the
// target's own harness under gcc's sanitizers.
struct ReplayRow {
  std::string target;
  std::string kind;  // "corpus" or "regressions"
  HarnessRun run;
};

fs::path FolderOf(const ReplayRow& row) {
  return fs::path(FLASHKIT_SOURCE_DIR) / "fuzz" / row.kind / row.target;
}

std::vector<ReplayRow> Rows() {
  std::vector<ReplayRow> rows;
  for (const Harness& harness : Harnesses()) {
    ReplayRow corpus{std::string(harness.target), "corpus", harness.run};
    rows.push_back(corpus);
    ReplayRow regressions{std::string(harness.target), "regressions", harness.run};
    if (fs::is_directory(FolderOf(regressions))) rows.push_back(regressions);
  }
  return rows;
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FuzzReplay : public ::testing::TestWithParam<ReplayRow> {};

TEST_P(FuzzReplay, EveryKeptInputRunsThroughItsHarness) {
  const fs::path folder = FolderOf(GetParam());
  std::vector<fs::path> inputs;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty()) << folder << " holds no inputs";
  for (const fs::path& input : inputs) {
    SCOPED_TRACE(input.string());
    const std::vector<uint8_t> bytes = ReadAll(input);
    // A broken promise or a sanitizer finding ends the program here.
    GetParam().run(bytes.data(), bytes.size());
  }
}

TEST(FuzzTargets, EachTargetHasAHarnessAndSeeds) {
  const fs::path fuzz = fs::path(FLASHKIT_SOURCE_DIR) / "fuzz";
  std::vector<std::string> targets;
  for (const auto& entry : fs::directory_iterator(fuzz)) {
    const std::string name = entry.path().filename().string();
    const std::string suffix = "_fuzz.cpp";
    if (name.size() > suffix.size() && name.ends_with(suffix)) {
      targets.push_back(name.substr(0, name.size() - suffix.size()));
    }
  }
  std::vector<std::string> harnessed;
  for (const Harness& harness : Harnesses()) harnessed.emplace_back(harness.target);
  std::sort(targets.begin(), targets.end());
  std::sort(harnessed.begin(), harnessed.end());
  EXPECT_EQ(targets, harnessed);
  for (const std::string& target : targets) {
    EXPECT_TRUE(fs::is_directory(fuzz / "corpus" / target)) << target;
  }
}

INSTANTIATE_TEST_SUITE_P(Kept, FuzzReplay, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<ReplayRow>& info) {
                           return info.param.target + "_" + info.param.kind;
                         });

}  // namespace
}  // namespace flashkit::fuzz
