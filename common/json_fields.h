#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace flashkit {

// `text` as a JSON string, quotes included. Bytes from 0x80 up pass through,
// so UTF-8 names stay readable.
std::string JsonString(std::string_view text);

// The members of one JSON object, in the order they are added.
class JsonFields {
 public:
  JsonFields& Str(std::string_view key, std::string_view value);
  JsonFields& Int(std::string_view key, int64_t value);
  JsonFields& Fixed(std::string_view key, double value, int decimals);
  JsonFields& Bool(std::string_view key, bool value);
  // A value already written as JSON (an array, an object).
  JsonFields& Raw(std::string_view key, std::string_view json);

  // "k":v,"k2":v2 without braces.
  const std::string& members() const { return members_; }
  // The whole object.
  std::string Object() const { return "{" + members_ + "}"; }

 private:
  std::string members_;
};

}  // namespace flashkit
