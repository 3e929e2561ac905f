#include "sim/boot_log.h"

namespace flashkit::sim {

std::vector<std::string> BootLogLines(const std::string& name, uint32_t size,
                                      const std::string& sha256, uint32_t count) {
  const std::string prefix = "devsim board: ";
  // The first lines say what was loaded; the rest count up the start-up stages.
  const std::vector<std::string> about_image = {
      "booting image " + name + " (" + std::to_string(size) + " bytes)",
      "image sha256 " + sha256,
  };
  const size_t about = about_image.size();
  const size_t stages = count > about ? count - about : 0;
  std::vector<std::string> lines;
  for (size_t i = 0; i < count; ++i) {
    const std::string text = i < about ? about_image[i]
                                       : "starting stage " + std::to_string(i - about + 1) +
                                             " of " + std::to_string(stages);
    lines.push_back(prefix + text + "\r\n");
  }
  lines.emplace_back(kBootCompleteLine);
  return lines;
}

}  // namespace flashkit::sim
