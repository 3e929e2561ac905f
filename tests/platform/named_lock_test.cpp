#include "platform/named_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "tests/platform/runtime_dir.h"

namespace flashkit::platform {
namespace {

namespace fs = std::filesystem;
using testing::RuntimeDir;

// A folder of its own, and a lock name no other run uses.
struct LockRig {
  LockRig()
      : folder(fs::temp_directory_path() / ("flashkit-lock-" + std::to_string(::getpid()))),
        name("flashkit-test-" + std::to_string(::getpid())) {
    fs::create_directories(folder);
  }
  ~LockRig() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::remove(fs::path("/tmp") / (name + "_sub"), ignored);
  }
  fs::path folder;
  std::string name;
};

enum class Folder { kRig, kUnset, kEmpty, kMissing };

struct PlaceRow {
  const char* name;
  Folder folder;
  bool locks;
  std::string where;  // "rig" or "/tmp", when it locks
};

class LockFile : public ::testing::TestWithParam<PlaceRow> {};

TEST_P(LockFile, LivesInTheSessionFolder) {
  LockRig rig;
  const PlaceRow& row = GetParam();
  std::optional<std::string> value;
  if (row.folder == Folder::kRig) value = rig.folder.string();
  if (row.folder == Folder::kEmpty) value = "";
  if (row.folder == Folder::kMissing) value = (rig.folder / "gone").string();
  RuntimeDir runtime(value);

  NamedLock lock(rig.name + "/sub");
  EXPECT_EQ(lock.Lock(), row.locks);
  lock.Unlock();
  if (!row.locks) return;
  const fs::path folder = row.where == "rig" ? rig.folder : fs::path("/tmp");
  EXPECT_TRUE(fs::exists(folder / (rig.name + "_sub"))) << "a slash stays inside the folder";
}

INSTANTIATE_TEST_SUITE_P(Rows, LockFile,
                         ::testing::Values(PlaceRow{"RuntimeFolder", Folder::kRig, true, "rig"},
                                           PlaceRow{"NoRuntimeFolder", Folder::kUnset, true, "/tmp"},
                                           PlaceRow{"EmptyRuntimeFolder", Folder::kEmpty, true, "/tmp"},
                                           PlaceRow{"RuntimeFolderMissing", Folder::kMissing, false, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NamedLock, SecondHolderWaitsUntilTheFirstUnlocks) {
  LockRig rig;
  RuntimeDir runtime(rig.folder.string());
  NamedLock first(rig.name);
  NamedLock second(rig.name);
  ASSERT_TRUE(first.Lock());

  std::atomic<bool> got{false};
  std::thread waiter([&] {
    got = second.Lock();
    second.Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(got) << "the second holder got in while the first held the lock";
  first.Unlock();

  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!got && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(got) << "the second holder never got the lock";
  if (!got) first.Unlock();
  waiter.join();
}

}  // namespace
}  // namespace flashkit::platform
