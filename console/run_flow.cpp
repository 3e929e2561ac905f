#include "console/run_flow.h"

#include <memory>

#include "console/command_line.h"
#include "console/log_capture.h"
#include "console/process_exit.h"
#include "console/receive_job.h"
#include "console/report.h"
#include "console/send_job.h"
#include "console/text_format.h"
#include "ports/device_port.h"
#include "ports/status.h"

namespace flashkit {

namespace {

std::unique_ptr<DevicePort> CreateOrFail(RunContext& r) {
  std::unique_ptr<DevicePort> port = CreatePort(r.system, r.console.out, r.crc);
  if (!port) FatalError(r.console, status::kNoPortObject, "Can't create port");
  return port;
}

// A USB step that fails is only reported; the send job then meets the
// failure itself.
struct UsbStep {
  int32_t (Port::*open)();
  const char* error;
};

constexpr UsbStep kUsbSteps[] = {
    {&Port::UsbConnect, "UsbConnect error"},
    {&Port::OpenUSBHandler, "OpenUSBHandler error"},
    {&Port::CreateComInfo, "CreateComInfo error"},
};

void RunOverUsb(RunContext& r) {
  ConsoleContext& c = r.console;
  std::unique_ptr<DevicePort> port = CreateOrFail(r);
  for (const UsbStep& step : kUsbSteps) {
    if (((*port).*step.open)() == 0) c.out.Print(step.error);
  }
  c.out.Print("USB Opened successfully.\n");
  if (c.options.send || c.options.file1) RunSendJob(c, *port);
  port->CloseUsbPipes();
  port->ClosePort();
}

void RunOverCom(RunContext& r) {
  ConsoleContext& c = r.console;
  Options& o = c.options;
  std::unique_ptr<DevicePort> port = CreateOrFail(r);
  if (o.port_path) {
    if (int32_t result = port->OpenPortPath(*o.port_path); result != 0) {
      FatalError(c, result, "Can't open port '%s': %s", o.port_path->c_str(),
                 port->OpenFailureText().c_str());
    }
  } else if (int32_t result = port->OpenPort(o.port); result != 0) {
    FatalError(c, result, "Can't open port");
  }
  if (int32_t result = port->ConfigurePort(o.baud); result != 0) {
    FatalError(c, result, "Can't initialise port");
  }
  if (o.receive) {
    RunReceiveJob(c, *port);
  } else {
    if (o.log_file) {
      o.log_stream.reset(std::fopen(o.log_file->c_str(), "w+b"));
      if (!o.log_stream) {
        FatalError(c, status::kLogFileFailed, "Can't create LogFile file '%s'",
                   o.log_file->c_str());
      }
    }
    if (o.send || o.file1) RunSendJob(c, *port);
    if (o.log_file) CaptureLog(c, *port, o.use_usb);
  }
  port->ClosePort();
}

}  // namespace

int32_t RunLinkxfer(RunContext& r, int argc, const char* const argv[]) {
  try {
    ParseCommandLine(r.console, argc, argv);
    if (r.console.options.use_usb) {
      RunOverUsb(r);
    } else {
      RunOverCom(r);
    }
    return status::kOk;
  } catch (const ProcessExit& exit) {
    return exit.status;
  }
}

}  // namespace flashkit
