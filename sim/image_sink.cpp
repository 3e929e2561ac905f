#include "sim/image_sink.h"

#include <algorithm>

#include "ports/status.h"

namespace flashkit::sim {

std::optional<std::string> StorableName(std::string_view name) {
  if (name.empty() || name.front() == '/') return std::nullopt;
  std::string_view last;
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = std::min(name.find('/', start), name.size());
    last = name.substr(start, end - start);
    if (last == "..") return std::nullopt;
    start = end + 1;
  }
  if (last.empty() || last == ".") return std::nullopt;
  return std::string(last);
}

ImageSink::ImageSink(EventLog& events) : events_(events) {}

int32_t ImageSink::BeginFile(const char* name, uint32_t size) {
  name_ = name;
  declared_size_ = size;
  t_header_ms_ = events_.NowMs();
  events_.Emit("header", JsonFields().Str("name", name_).Int("size", size));
  auto file_name = StorableName(name_);
  if (!file_name || size > kMaxImageBytes) return status::kSinkFailed;
  file_name_ = *file_name;
  begun_ = true;
  return 0;
}

void ImageSink::BeginUnnamed() {
  declared_size_ = 0;
  t_header_ms_ = events_.NowMs();
  begun_ = true;
}

int32_t ImageSink::WriteData(const uint8_t* data, uint32_t length) {
  if (length == 0) {
    t_eot_ms_ = events_.NowMs();
    complete_ = begun_;
    return 0;
  }
  if (declared_size_ == 0) {
    // Without a declared size the fill bytes of the last block stay in.
    if (data_.size() + length > kMaxImageBytes) return status::kSinkFailed;
    data_.insert(data_.end(), data, data + length);
    return 0;
  }
  const size_t keep = std::min<size_t>(length, declared_size_ - data_.size());
  data_.insert(data_.end(), data, data + keep);
  return 0;
}

}  // namespace flashkit::sim
