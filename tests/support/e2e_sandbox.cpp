#include "tests/support/e2e_sandbox.h"

#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>
#include <thread>

namespace flashkit::testing {
namespace {

constexpr uint32_t kPollMs = 5;

}  // namespace

E2eSandbox::E2eSandbox() {
  std::string pattern = (std::filesystem::temp_directory_path() / "flashkit-e2e-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return;
  root_ = pattern;
  std::error_code ec;
  for (const char* folder : {"dev", "host", "peer", "logs"}) {
    std::filesystem::create_directory(root_ / folder, ec);
  }
}

E2eSandbox::~E2eSandbox() {
  if (root_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string E2eSandbox::LogPath(const std::string& name) {
  return (root_ / "logs" / (std::to_string(++logs_) + "-" + name)).string();
}

std::string E2eSandbox::ComPath(unsigned number) const {
  return (dev() / ("com" + std::to_string(number))).string();
}

std::vector<std::pair<std::string, std::string>> E2eSandbox::ChildEnv() const {
  return {{"FLASHKIT_DEVROOT", dev().string()}};
}

// Test support links before the platform library, so it keeps its own clock.
bool WaitUntil(const std::function<bool()>& done, uint32_t timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point give_up = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() >= give_up) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
  return true;
}

Bytes ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::filesystem::path& path) {
  const Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  Bytes out(size);
  for (uint8_t& b : out) b = static_cast<uint8_t>(byte(engine));
  return out;
}

bool WriteBytes(const std::filesystem::path& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

std::string FirstDifference(const Bytes& got, const Bytes& want) {
  std::ostringstream text;
  text << got.size() << " bytes, expected " << want.size();
  const size_t common = std::min(got.size(), want.size());
  for (size_t i = 0; i < common; ++i) {
    if (got[i] != want[i]) {
      text << "; first difference at offset " << i << ": 0x" << std::hex << int{got[i]}
           << " instead of 0x" << int{want[i]};
      break;
    }
  }
  return text.str();
}

}  // namespace flashkit::testing
