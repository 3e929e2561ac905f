#pragma once

#include <string>

namespace flashkit {

enum class BoxIcon { kNone, kWarning };

// Message boxes with an OK button only. The dialog shows them; tests record
// the texts.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Show(const std::string& text, BoxIcon icon = BoxIcon::kNone) = 0;
};

}  // namespace flashkit
