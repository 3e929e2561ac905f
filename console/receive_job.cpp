#include "console/receive_job.h"

#include "console/file_sink.h"
#include "console/report.h"
#include "console/text_format.h"
#include "ports/status.h"
#include "protocol/xfer_session.h"

namespace flashkit {

namespace {

void OpenNamedFile(ConsoleContext& c, FileHandle& file) {
  const char* path = c.options.file1->c_str();
  file.reset(std::fopen(path, "w+b"));
  if (!file) FatalError(c, status::kSinkFailed, "Can't create file '%s'", path);
  Printf(c.out, "Receiving %s...\n", path);
}

}  // namespace

void RunReceiveJob(ConsoleContext& c, Port& port) {
  Options& o = c.options;
  FileHandle file;
  FileSink sink(file, c.out);
  XferSession session(port, c.out);

  int32_t result;
  if (o.xmodem) {
    if (!o.file1) UsageError(c, "File argument missing");
    OpenNamedFile(c, file);
    result = session.ReceiveXmodem(sink, o.timeout_ms, o.receive_crc, o.use_usb);
  } else {
    if (o.file1) OpenNamedFile(c, file);
    result = session.ReceiveYmodem(sink, o.timeout_ms, o.ymodem_g, o.use_usb);
  }
  // What is still buffered may fail on the way out; only a file that is
  // whole on disk counts as received.
  if (result == 0 && !CloseChecked(file)) result = status::kSinkFailed;
  if (result != 0) FatalError(c, result, "Error during file transfer");

  c.out.Print("\nReceived OK\n");
}

}  // namespace flashkit
