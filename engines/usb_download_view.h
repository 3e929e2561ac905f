#pragma once

#include <cstdint>
#include <string>

namespace flashkit {

// Control ids the USB download acts on.
inline constexpr int32_t kConnectAnimationId = 1025;
inline constexpr int32_t kSendAnimationId = 1026;
// The progress timer of the size-announced flow.
inline constexpr int32_t kProgressTimerId = 1;

// The dialog as the USB download sees it. Calls may come from the sender
// thread; the dialog carries every one of them out on its own thread, in
// the order they were made.
class UsbDownloadView {
 public:
  virtual ~UsbDownloadView() = default;
  // Plays an animation from its first frame to its last, repeating.
  virtual void PlayAnimation(int32_t control_id) = 0;
  virtual void StopAnimation(int32_t control_id) = 0;
  // Progress range 0 ... upper, the whole of it.
  virtual void SetProgressRange(uint32_t upper) = 0;
  virtual void SetProgressPos(uint32_t position) = 0;
  // WM_DOWNLOAD_PROGRESS, handled before the call returns. Dialog thread only.
  virtual void SendProgress(uint32_t wparam, int32_t lparam) = 0;
  // Appends to the information text and pushes it to its control.
  virtual void AppendInfo(const std::string& text) = 0;
  virtual void ShowSettings(int32_t done) = 0;
  // Replaces the information text with the file's path and `text`: how a
  // download that did not finish ended.
  virtual void ShowOutcome(const std::string& text) = 0;
  virtual void SetTimer(int32_t id, uint32_t period_ms) = 0;
  virtual void KillTimer(int32_t id) = 0;
  // A message box with an OK button.
  virtual void ShowMessage(const std::string& text) = 0;
};

}  // namespace flashkit
