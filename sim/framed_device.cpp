#include "sim/framed_device.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "sim/image_store.h"

namespace flashkit::sim {
namespace {

struct ImageTypeName {
  uint8_t type;
  const char* name;
};

constexpr ImageTypeName kImageTypes[] = {
    {0x80, "iap"}, {0x81, "vivi"}, {0x82, "zImage"}, {0x83, "root"}, {0xFF, "other"},
};

const char* ImageName(uint8_t type) {
  const auto row = std::find_if(std::begin(kImageTypes), std::end(kImageTypes),
                                [type](const ImageTypeName& t) { return t.type == type; });
  return row == std::end(kImageTypes) ? "unknown" : row->name;
}

std::string Hex(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", byte);
  return text;
}

// The type byte and the payload of a whole frame.
std::span<const uint8_t> Payload(const FramedMessage& frame) {
  return std::span<const uint8_t>(frame.bytes).subspan(3, frame.bytes[1] - 1u);
}

}  // namespace

FramedDevice::FramedDevice(platform::Clock& clock, EventLog& events, FramedSettings settings)
    : clock_(clock), events_(events), settings_(std::move(settings)) {}

ConnectionEnd FramedDevice::Serve(Port& port, const StopCheck& stopping) {
  download_ = {};
  answered_data_ = 0;
  silent_ = false;
  FramedReader reader(port, clock_, crc_);
  for (;;) {
    const bool busy = download_.flow != Flow::kNone;
    FramedMessage message;
    const ReadEnd end =
        reader.Next(stopping, busy ? std::optional<uint32_t>(kFrameIdleMs) : std::nullopt, &message);
    Step step = Step::kGoOn;
    switch (end) {
      case ReadEnd::kStopped:
        return ConnectionEnd::kStopped;
      case ReadEnd::kHostGone:
        if (busy) Refuse("download", "connection ended before the end frame");
        else if (reader.Pending() > 0) Refuse("frame", "connection ended in the middle of a frame");
        return ConnectionEnd::kHostGone;
      case ReadEnd::kIdle:
        step = Refuse("download", "no frame for " + std::to_string(kFrameIdleMs) + " ms");
        break;
      case ReadEnd::kMessage:
        switch (message.kind) {
          case FramedMessage::Kind::kRequest: step = OnRequest(message); break;
          case FramedMessage::Kind::kFrame: step = OnFrame(port, message); break;
          case FramedMessage::Kind::kMalformed: step = Refuse("frame", message.reason); break;
        }
        break;
    }
    if (step == Step::kReset) return ConnectionEnd::kReset;
    if (step == Step::kRefused) {
      return reader.Discard(stopping) == ReadEnd::kStopped ? ConnectionEnd::kStopped
                                                           : ConnectionEnd::kHostGone;
    }
  }
}

FramedDevice::Step FramedDevice::OnRequest(const FramedMessage& message) {
  const uint8_t type = message.request.image_type.value_or(0);
  events_.Emit("request", JsonFields()
                              .Str("image_type", Hex(type))
                              .Str("image", ImageName(type))
                              .Bool("crc_ok", message.request.crc_ok));
  if (download_.flow != Flow::kNone) return Refuse("request", "request in the middle of a download");
  if (!message.request.crc_ok) {
    // Ignored, as a board ignores a packet it cannot trust; the host may ask again.
    events_.Emit("error", JsonFields().Str("stage", "request").Str("reason", "CRC does not match"));
    return Step::kGoOn;
  }
  return Step::kReset;
}

FramedDevice::Step FramedDevice::OnFrame(Port& port, const FramedMessage& message) {
  const FrameType& type = message.type;
  const bool busy = download_.flow != Flow::kNone;
  if ((type.kind == FrameKind::kSize || type.kind == FrameKind::kHeader) && busy) {
    return Refuse("frame", "frame type " + Hex(type.type) + " in the middle of a download");
  }
  switch (type.kind) {
    case FrameKind::kSize: {
      const std::optional<uint32_t> size = DecimalSize(Payload(message));
      if (!size) return Refuse("frame", "size is not decimal");
      download_ = {Flow::kSize, "", *size, {}, 0, 0};
      events_.Emit("size", JsonFields().Int("size", *size));
      Answer(port, false);
      return Step::kGoOn;
    }
    case FrameKind::kHeader: {
      std::string error;
      const std::optional<HeaderFields> header = ParseHeader(type, Payload(message), &error);
      if (!header) return Refuse("frame", error);
      download_ = {Flow::kNamed, header->name, header->size, {}, 0, 0};
      events_.Emit("header", JsonFields()
                                 .Str("type", Hex(type.type))
                                 .Str("name", header->name)
                                 .Int("size", header->size));
      return Step::kGoOn;
    }
    case FrameKind::kData:
      return OnData(port, message);
    case FrameKind::kEnd:
      return OnEnd(port, message);
  }
  return Step::kGoOn;
}

FramedDevice::Step FramedDevice::OnData(Port& port, const FramedMessage& message) {
  if (download_.flow == Flow::kNone) return Refuse("frame", "data frame before a size or header frame");
  std::vector<uint8_t>& image = download_.image;
  if (image.size() >= download_.size) {
    return Refuse("frame", "data beyond the announced " + std::to_string(download_.size) + " bytes");
  }
  const std::span<const uint8_t> payload = Payload(message);
  const size_t used = std::min<size_t>(payload.size(), download_.size - image.size());
  image.insert(image.end(), payload.begin(), payload.begin() + static_cast<long>(used));
  ++download_.frames;
  download_.payload_bytes += payload.size();
  if (download_.flow == Flow::kSize) Answer(port, true);
  return Step::kGoOn;
}

FramedDevice::Step FramedDevice::OnEnd(Port& port, const FramedMessage& message) {
  static constexpr const char* kFlowNames[] = {"none", "size", "named"};
  const Flow flow = download_.flow;
  if (flow != Flow::kNone) {
    events_.Emit("frames", JsonFields()
                               .Int("frames", download_.frames)
                               .Int("payload_bytes", static_cast<int64_t>(download_.payload_bytes))
                               .Int("answered", answered_data_));
  }
  events_.Emit("end", JsonFields()
                          .Str("condition", Hex(message.type.type))
                          .Str("name", message.type.name)
                          .Str("flow", kFlowNames[static_cast<int>(flow)]));
  if (download_.image.size() < download_.size) {
    return Refuse("download", "ended " + std::to_string(download_.size - download_.image.size()) +
                                  " bytes short of the announced size");
  }
  // Answered before the image is written: the host waits only briefly.
  Answer(port, false);
  if (flow != Flow::kNone) Store();
  download_ = {};
  return Step::kGoOn;
}

void FramedDevice::Answer(Port& port, bool data_frame) {
  if (data_frame && settings_.silent_after && answered_data_ >= *settings_.silent_after && !silent_) {
    silent_ = true;
    events_.Emit("silent", JsonFields().Int("after_frames", answered_data_));
  }
  if (silent_) return;
  if (data_frame) ++answered_data_;
  // A host that went takes its answer with it; that shows on the next read.
  port.Write(&kFrameAnswer, 1, kFrameGapMs, false);
}

void FramedDevice::Store() {
  const bool named = download_.flow == Flow::kNamed;
  const std::string name =
      named ? download_.name : UnusedFileName(settings_.store_dir, "image-", ".bin");
  StoredImage stored;
  if (StoreImage(settings_.store_dir, name, download_.image, &stored) != 0) {
    events_.Emit("error", JsonFields().Str("stage", "store").Str("reason", "cannot write " + name));
    return;
  }
  events_.Emit("stored", JsonFields()
                             .Str("name", name)
                             .Str("flow", named ? "named" : "size")
                             .Int("size", static_cast<int64_t>(download_.image.size()))
                             .Str("path", stored.path)
                             .Str("sha256", stored.sha256));
}

FramedDevice::Step FramedDevice::Refuse(const std::string& stage, const std::string& reason) {
  JsonFields fields;
  fields.Str("stage", stage).Str("reason", reason);
  if (download_.flow != Flow::kNone) fields.Int("frames", download_.frames);
  events_.Emit("error", fields);
  download_ = {};
  return Step::kRefused;
}

}  // namespace flashkit::sim
