#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>

namespace flashkit::testing {

// A fresh folder made the device namespace root for the life of the object;
// the previous root setting comes back afterwards.
class TempNamespace {
 public:
  TempNamespace() {
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() /
            ("flashkit-ns-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(root_);
    if (const char* old = std::getenv(kVariable)) previous_ = old;
    setenv(kVariable, root_.c_str(), 1);
  }

  ~TempNamespace() {
    if (previous_) {
      setenv(kVariable, previous_->c_str(), 1);
    } else {
      unsetenv(kVariable);
    }
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  TempNamespace(const TempNamespace&) = delete;
  TempNamespace& operator=(const TempNamespace&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::string Path(const std::string& name) const { return (root_ / name).string(); }

 private:
  static constexpr char kVariable[] = "FLASHKIT_DEVROOT";
  std::filesystem::path root_;
  std::optional<std::string> previous_;
};

}  // namespace flashkit::testing
