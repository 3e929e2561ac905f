#include <memory>

#include "sim/device_rack.h"
#include "sim/device_session.h"
#include "sim/devsim_commands.h"
#include "sim/mcu_flash.h"
#include "sim/mcu_host_end.h"
#include "sim/mcu_host_loop.h"

namespace flashkit::sim {
namespace {

// stm32flash told to keep the port as it finds it (-b 0) reads expecting
// reads that wait, as it would have set them up itself: half a second.
constexpr uint8_t kSlaveReadWaitDs = 5;

// One MCU on its COM port: its own flash, its own line for each program that
// opens the port, dumped to `dump_path` (if any) when it stops.
class ComMcu : public RackDevice {
 public:
  ComMcu(PtyEnd& pty, const DevsimOptions& options, uint64_t seed, std::string dump_path,
         EventLog& events, std::function<void(const std::string&)> finish)
      : pty_(pty),
        flash_(options.mcu.flash_base, options.mcu.flash_bytes, options.mcu.page_bytes),
        host_(pty),
        hosts_(host_, {options.rate, options.faults, seed, options.latency_timer_ms}, options.mcu,
               flash_, events, std::move(finish)),
        dump_path_(std::move(dump_path)),
        events_(events) {
    for (const McuStuckBit& stuck : options.mcu.stuck_bits) flash_.StickBit(stuck.address, stuck.bit);
  }

  bool Start(std::string* error) {
    if (const platform::SysStatus s = pty_.SetSlaveReadWait(kSlaveReadWaitDs); !s.ok()) {
      *error = "cannot set up the MCU's port: " + s.Text();
      return false;
    }
    pty_.ReleaseSlave();
    return hosts_.Start(error);
  }

  std::string Stop() override {
    hosts_.Stop();
    if (dump_path_.empty() || dumped_) return "";
    dumped_ = true;
    if (!flash_.Dump(dump_path_)) return "cannot write the flash to " + dump_path_;
    events_.Emit("dump", JsonFields().Str("path", dump_path_).Int("size", static_cast<int64_t>(flash_.size())));
    return "";
  }

  std::vector<DirectionStats> Stats() const override { return hosts_.Stats(); }

 private:
  PtyEnd& pty_;
  McuFlash flash_;
  McuHostEnd host_;
  McuHostLoop hosts_;
  std::string dump_path_;
  EventLog& events_;
  bool dumped_ = false;
};

}  // namespace

// An MCU per --com, side by side. devsim lets go of each port's slave, so
// it sees each program open and close the port; each flash lives as long as
// devsim.
int RunMcu(const DevsimOptions& options, EventLog& events) {
  DeviceSession session(events);
  std::string error;
  if (!session.Prepare(&error)) return ReportSetupFailure(error);
  DeviceRack rack(session, events, options.coms);
  if (!rack.Prepare(&error)) return ReportSetupFailure(error);
  for (size_t k = 0; k < rack.size(); ++k) {
    PtyEnd* pty = session.AttachCom(rack.com(k), &error);
    if (!pty) return ReportSetupFailure(error);
    std::string dump = options.dump_path;
    if (!dump.empty() && rack.several()) dump += ".com" + std::to_string(rack.com(k));
    auto mcu = std::make_unique<ComMcu>(
        *pty, options, options.seed + k, std::move(dump), rack.Log(k),
        [&rack, k](const std::string& failure) { rack.Finish(k, failure); });
    if (!mcu->Start(&error)) return ReportSetupFailure(error);
    rack.Add(std::move(mcu));
  }
  session.ReportReady("mcu", options.rate, options.latency_timer_ms);
  return rack.Run();
}

}  // namespace flashkit::sim
