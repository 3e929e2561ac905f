#include "common/json_fields.h"

#include <cstdio>

namespace flashkit {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

JsonFields& JsonFields::Raw(std::string_view key, std::string_view json) {
  if (!members_.empty()) members_ += ',';
  members_ += JsonString(key);
  members_ += ':';
  members_ += json;
  return *this;
}

JsonFields& JsonFields::Str(std::string_view key, std::string_view value) {
  return Raw(key, JsonString(value));
}

JsonFields& JsonFields::Int(std::string_view key, int64_t value) {
  return Raw(key, std::to_string(value));
}

JsonFields& JsonFields::Fixed(std::string_view key, double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return Raw(key, text);
}

JsonFields& JsonFields::Bool(std::string_view key, bool value) {
  return Raw(key, value ? "true" : "false");
}

}  // namespace flashkit
