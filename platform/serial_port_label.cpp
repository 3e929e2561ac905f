// The parts of serial_ports.h that only read a SerialPortInfo.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/serial_ports.h"
#include "platform/utf8_text.h"

namespace flashkit::platform {
namespace {

constexpr std::string_view kDash = " \u2014 ";
constexpr std::string_view kEllipsis = "\u2026";
constexpr std::string_view kByIdPrefix = "/dev/serial/by-id/";
constexpr char kReplacement = '?';

// Characters that would move or hide text on a screen: C0 and C1 controls,
// DEL, line and paragraph separators and the bidirectional overrides and
// isolates, with which a device's text could reorder the rest of the label.
bool Unprintable(uint32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// `text` as UTF-8 with every byte that begins no valid sequence, and every
// unprintable character, replaced by one '?'.
std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    uint32_t code_point = 0;
    const size_t length = DecodeUtf8(text, code_point);
    if (length == 0 || Unprintable(code_point)) {
      out += kReplacement;
      text.remove_prefix(length == 0 ? 1 : length);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return out;
}

// Valid UTF-8 cut to at most `max_chars` characters, the last of them "…"
// when anything was cut.
std::string CutToChars(const std::string& text, size_t max_chars) {
  size_t chars = 0;
  size_t keep = 0;  // bytes of the first max_chars - 1 characters
  for (size_t at = 0; at < text.size(); ++chars) {
    if (chars + 1 == max_chars) keep = at;
    uint32_t ignored = 0;
    const size_t length = DecodeUtf8(std::string_view(text).substr(at), ignored);
    at += length == 0 ? 1 : length;  // never 0: the text is valid already
  }
  if (chars <= max_chars) return text;
  if (max_chars == 0) return {};
  return text.substr(0, keep) + std::string(kEllipsis);
}

}  // namespace

const std::string& SerialPortInfo::StablePath() const {
  for (const std::string& link : links) {
    if (link.starts_with(kByIdPrefix)) return link;
  }
  return path;
}

std::string PortLabel(const SerialPortInfo& port, size_t max_chars) {
  std::string what;
  if (!port.product.empty()) {
    what = port.product;
  } else if (!port.manufacturer.empty()) {
    what = port.manufacturer;
  } else if (!port.vendor_id.empty() && !port.product_id.empty()) {
    what = port.vendor_id + ":" + port.product_id;
  }
  std::string label = Printable(port.name);
  if (!what.empty()) label += std::string(kDash) + Printable(what);
  if (!port.serial.empty()) label += " (" + Printable(port.serial) + ")";
  return CutToChars(label, max_chars);
}

}  // namespace flashkit::platform
