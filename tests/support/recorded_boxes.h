#pragma once

#include <string>
#include <vector>

#include "gui/links/message_boxes.h"

namespace flashkit::testing {

// Keeps the texts of the message boxes that would have been shown.
class RecordedBoxes : public MessageBoxes {
 public:
  void Show(const std::string& text, BoxIcon icon) override {
    texts.push_back(text);
    icons.push_back(icon);
  }
  std::vector<std::string> texts;
  std::vector<BoxIcon> icons;
};

}  // namespace flashkit::testing
