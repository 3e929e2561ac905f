#include "console/send_job.h"

#include <optional>

#include "console/file_source.h"
#include "console/report.h"
#include "console/text_format.h"
#include "ports/status.h"
#include "protocol/xfer_session.h"

namespace flashkit {

void RunSendJob(ConsoleContext& c, Port& port) {
  Options& o = c.options;
  if (!o.file1) UsageError(c, "File argument missing");
  if (!o.file2) o.file2 = o.file1;
  const char* path = o.file1->c_str();

  FileHandle file(std::fopen(path, "rb"));
  std::optional<int32_t> size;
  if (file) size = FileSource::Measure(file.get());
  if (!size) {
    file.reset();
    FatalError(c, status::kSourceFailed, "Can't open file '%s'", path);
  }
  Printf(c.out, "Sending %s...\n", path);

  FileSource source(file.get(), *size, c.out);
  XferSession session(port, c.out);
  int32_t result = o.xmodem ? session.SendXmodem(source, o.timeout_ms, o.send_1k, o.use_usb)
                            : session.SendYmodem(o.file2->c_str(), static_cast<uint32_t>(*size),
                                                 source, o.timeout_ms, o.use_usb);
  if (result != 0) FatalError(c, result, "Error during file transfer");

  c.out.Print("\nSent OK\n\n");
  c.out.Print("Plz....wait....\nClose the Command Window after automatically!!\n");
  c.clock.SleepMs(kClosingPauseMs);
  file.reset();
}

}  // namespace flashkit
