#include "platform/usb_bulk_pipe.h"

#include <fcntl.h>

#include <cerrno>
#include <memory>
#include <optional>

#include "platform/fd_device.h"
#include "platform/usb_bulk_node.h"
#include "platform/usb_bulk_reader.h"
#include "platform/usb_bulk_writer.h"
#include "platform/usb_pipe_path.h"

namespace flashkit::platform {
namespace {

struct PipeRow {
  std::string_view name;
  BulkDirection direction;
};

constexpr PipeRow kPipes[] = {
    {kReadPipeName, BulkDirection::kIn},
    {kWritePipeName, BulkDirection::kOut},
};

std::optional<BulkDirection> DirectionOf(std::string_view pipe) {
  for (const PipeRow& row : kPipes) {
    if (row.name == pipe) return row.direction;
  }
  return std::nullopt;
}

}  // namespace

Opened<Device> OpenBulkPipe(const std::string& node_path, std::string_view pipe) {
  const std::optional<BulkDirection> direction = DirectionOf(pipe);
  if (!direction) return {nullptr, SysStatus::FromErrno(ENOENT)};
  SysStatus status;
  std::shared_ptr<UsbBulkNode> node = UsbBulkNode::Acquire(node_path, &status);
  if (!node) return {nullptr, status};
  {
    std::lock_guard<std::mutex> lock(node->lock());
    if (node->endpoint(*direction).address == 0) return {nullptr, SysStatus::FromErrno(ENOENT)};
    if (!node->TakePipe(*direction)) return {nullptr, SysStatus::FromErrno(EBUSY)};
  }
  if (*direction == BulkDirection::kIn) {
    return {std::make_unique<UsbBulkReader>(std::move(node)), SysStatus::Ok()};
  }
  return {std::make_unique<UsbBulkWriter>(std::move(node)), SysStatus::Ok()};
}

Opened<Device> OpenBulkNode(const std::string& node) {
  const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {nullptr, SysStatus::FromErrno(errno)};
  return {std::make_unique<FdDevice>(fd), SysStatus::Ok()};
}

}  // namespace flashkit::platform
