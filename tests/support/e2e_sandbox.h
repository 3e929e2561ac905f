#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace flashkit::testing {

using Bytes = std::vector<uint8_t>;

// A fresh folder per end-to-end test, removed with everything in it at the
// end: dev/ is the device namespace root the children see, host/ the working
// folder of linkxfer, peer/ that of the program at the other end, logs/ the
// children's outputs.
class E2eSandbox {
 public:
  E2eSandbox();
  ~E2eSandbox();
  E2eSandbox(const E2eSandbox&) = delete;
  E2eSandbox& operator=(const E2eSandbox&) = delete;

  bool ok() const { return !root_.empty(); }
  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path dev() const { return root_ / "dev"; }
  std::filesystem::path host() const { return root_ / "host"; }
  std::filesystem::path peer() const { return root_ / "peer"; }
  // A new file name under logs/ for one child's output ("linkxfer.out" ->
  // "logs/3-linkxfer.out"), so repeated runs never share a file.
  std::string LogPath(const std::string& name);
  std::string ComPath(unsigned number) const;

  // The namespace root, for the children's environment only.
  std::vector<std::pair<std::string, std::string>> ChildEnv() const;

 private:
  std::filesystem::path root_;
  unsigned logs_ = 0;
};

// Polls `done` every few milliseconds for at most `timeout_ms`.
bool WaitUntil(const std::function<bool()>& done, uint32_t timeout_ms);

Bytes ReadBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);
// Random bytes from a fixed seed, so a failure repeats.
Bytes RandomBytes(size_t size, uint32_t seed);
bool WriteBytes(const std::filesystem::path& path, const Bytes& data);

// The first difference of two byte strings, for failure messages.
std::string FirstDifference(const Bytes& got, const Bytes& want);

}  // namespace flashkit::testing
