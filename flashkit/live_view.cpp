#include "flashkit/live_view.h"

#include <algorithm>

namespace flashkit::rack {
namespace {

constexpr int kBarWidth = 20;
constexpr size_t kPhaseWidth = 24;

std::string Elapsed(uint64_t ms) {
  char text[16];
  const uint64_t seconds = ms / 1000;
  std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(seconds / 60),
                static_cast<unsigned>(seconds % 60));
  return text;
}

std::string Speed(uint64_t bytes, uint64_t ms) {
  if (bytes == 0 || ms == 0) return "";
  char text[24];
  std::snprintf(text, sizeof text, "%.1f kB/s", static_cast<double>(bytes) / static_cast<double>(ms));
  return text;
}

// Cut to `width` characters, counting the bytes of a UTF-8 sequence as one.
std::string Fit(const std::string& text, size_t width) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (chars++ == width) return text.substr(0, i);
  }
  return text;
}

}  // namespace

LiveView::LiveView(std::FILE* out, bool terminal, int columns)
    : out_(out), terminal_(terminal), columns_(columns) {}

std::string LiveView::Line(const LiveRow& row, size_t label_width, int columns) {
  const BoardProgress::Snapshot& s = row.state;
  std::string bar(kBarWidth + 2, s.total > 0 ? '-' : ' ');
  bar.front() = '[';
  bar.back() = ']';
  std::string percent;
  if (s.total > 0) {
    const uint64_t done = std::min(s.done, s.total);
    std::fill_n(bar.begin() + 1, done * kBarWidth / s.total, '#');
    percent = std::to_string(done * 100 / s.total) + "%";
  }
  char text[512];
  std::snprintf(text, sizeof text, "%-*s  %-*s %s %4s %12s %6s", static_cast<int>(label_width),
                row.label.c_str(), static_cast<int>(kPhaseWidth),
                Fit(s.phase, kPhaseWidth).c_str(), bar.c_str(), percent.c_str(),
                Speed(s.bytes, row.elapsed_ms).c_str(), Elapsed(row.elapsed_ms).c_str());
  return Fit(text, columns > 0 ? static_cast<size_t>(columns) : 512);
}

void LiveView::Show(const std::vector<LiveRow>& rows) {
  size_t width = 0;
  for (const LiveRow& row : rows) width = std::max(width, row.label.size());
  if (terminal_) {
    // Back to the first line, then each line cleared and drawn again.
    if (drawn_ > 0) std::fprintf(out_, "\x1b[%zuA", drawn_);
    for (const LiveRow& row : rows) {
      std::fprintf(out_, "\r\x1b[2K%s\n", Line(row, width, columns_ - 1).c_str());
    }
    drawn_ = rows.size();
  } else {
    printed_.resize(rows.size(), 0);
    for (size_t i = 0; i < rows.size(); ++i) {
      for (; printed_[i] < rows[i].phases.size(); ++printed_[i]) {
        std::fprintf(out_, "%s: %s\n", rows[i].label.c_str(), rows[i].phases[printed_[i]].c_str());
      }
    }
  }
  std::fflush(out_);
}

}  // namespace flashkit::rack
