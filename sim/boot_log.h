#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace flashkit::sim {

// The last line of every boot log; a host can stop capturing on it.
inline constexpr char kBootCompleteLine[] = "devsim board: boot complete\r\n";

// The lines a board prints after a download: `count` progress lines about
// the image, then kBootCompleteLine.
std::vector<std::string> BootLogLines(const std::string& name, uint32_t size,
                                      const std::string& sha256, uint32_t count);

}  // namespace flashkit::sim
