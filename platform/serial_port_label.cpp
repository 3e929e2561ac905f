// The parts of serial_ports.h that only read a SerialPortInfo.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/serial_ports.h"

namespace flashkit::platform {
namespace {

constexpr std::string_view kDash = " \u2014 ";
constexpr std::string_view kEllipsis = "\u2026";
constexpr std::string_view kByIdPrefix = "/dev/serial/by-id/";
constexpr char kReplacement = '?';

// The length of the valid UTF-8 sequence at the start of `text` and its
// code point, or 0 when the first byte begins none (a stray continuation
// byte, an overlong form, a surrogate, past U+10FFFF, cut short).
size_t DecodeOne(std::string_view text, uint32_t& code_point) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(0);
  size_t length = 0;
  uint32_t lowest = 0;
  if (lead < 0x80) {
    code_point = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, lowest = 0x80, code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, lowest = 0x800, code_point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, lowest = 0x10000, code_point = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code_point = (code_point << 6) | (byte(i) & 0x3F);
  }
  const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
  if (code_point < lowest || surrogate || code_point > 0x10FFFF) return 0;
  return length;
}

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
    const size_t length = DecodeOne(text, code_point);
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
    const size_t length = DecodeOne(std::string_view(text).substr(at), ignored);
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
