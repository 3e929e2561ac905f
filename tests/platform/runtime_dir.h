#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace flashkit::testing {

// XDG_RUNTIME_DIR set to `value` (unset for nothing) for the life of the
// object, so named locks of a test live in a folder of its own.
class RuntimeDir {
 public:
  explicit RuntimeDir(const std::optional<std::string>& value) {
    if (const char* old = std::getenv(kVariable)) previous_ = old;
    Put(value);
  }
  ~RuntimeDir() { Put(previous_); }
  RuntimeDir(const RuntimeDir&) = delete;
  RuntimeDir& operator=(const RuntimeDir&) = delete;

 private:
  static void Put(const std::optional<std::string>& value) {
    if (value) {
      setenv(kVariable, value->c_str(), 1);
    } else {
      unsetenv(kVariable);
    }
  }

  static constexpr char kVariable[] = "XDG_RUNTIME_DIR";
  std::optional<std::string> previous_;
};

}  // namespace flashkit::testing
