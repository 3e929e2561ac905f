#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/usb_pipe.h"

namespace flashkit::sim {

// Letters, digits, '.', '-' and '_', at most 64, not starting with '.': a
// name that is one folder in the namespace and stays readable in traces.
bool IsUsbDeviceName(std::string_view name);

// The namespace entry of a simulated USB bulk device: the folder
// <root>/usb/{GUID}/NAME with the listening sockets PIPE00 (data to the host)
// and PIPE01 (data from the host). An entry that exists is a present device,
// so it appears complete or not at all: it is built beside the class folder
// and renamed into it. The object going is the device being unplugged: the
// folder goes and the pipes stop listening.
class UsbEntry {
 public:
  // Refuses, with the reason in `error`, when a device of that name is
  // present already or the entry cannot be built.
  static std::unique_ptr<UsbEntry> Create(const std::string& name, std::string* error);
  ~UsbEntry();

  UsbEntry(const UsbEntry&) = delete;
  UsbEntry& operator=(const UsbEntry&) = delete;

  const std::string& name() const { return name_; }
  // The device interface path hosts find in the class folder.
  const std::string& path() const { return path_; }
  platform::PipeListener& pipe00() { return *pipe00_; }
  platform::PipeListener& pipe01() { return *pipe01_; }

 private:
  UsbEntry(std::string name, std::string path, std::unique_ptr<platform::PipeListener> pipe00,
           std::unique_ptr<platform::PipeListener> pipe01);

  std::string name_;
  std::string path_;
  std::unique_ptr<platform::PipeListener> pipe00_;
  std::unique_ptr<platform::PipeListener> pipe01_;
};

}  // namespace flashkit::sim
