// linkxfer against lrzsz through a simulated null-modem cable, both ways and
// in every mode the two share, over the file sizes around the block edges.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_line_relay.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

using testing::PrintTo;

constexpr char kFile[] = "image.bin";
constexpr size_t kLargeSize = (1u << 20) + 7;
// Small files go at a common rate; the large one fast enough that the suite
// stays short (lrzsz keeps up at this rate on a pseudo-terminal).
constexpr uint32_t kSmallBaud = 115200;
constexpr uint32_t kLargeBaud = 10000000;
constexpr uint32_t kReadyMs = 10000;
constexpr uint32_t kRunLimitMs = 60000;
constexpr uint32_t kDrainMs = 5000;

// XMODEM carries no size: the receiver keeps the last block whole, 0x1A fill
// and all. Both senders here send a 1024-byte block only while more than 896
// bytes are left (sx -k) or a whole kilobyte is (linkxfer -sk), so a file of
// n bytes arrives filled up to a multiple of 128. YMODEM cuts it to size.
size_t Exact(size_t n) { return n; }
size_t WholeBlocks128(size_t n) { return (n + 127) / 128 * 128; }

enum Direction { kPeerSends, kLinkxferSends };

// How the peer reaches COM2: its stdin and stdout are the line itself, or a
// socket pair relayed to the line when the peer's last act before exiting is
// a write (see E2eLineRelay).
enum Link { kLine, kRelay };

// What the side that waits prints once it listens; the other starts then.
// sx waits for the receiver's start character after its banner.
constexpr char kSxBanner[] = "Give your local XMODEM receive command now.";
// sz keeps a start character that came before it read: it needs no banner.
constexpr const char* kAnyTime = nullptr;
// linkxfer throws away what came before it listens, so rx starts once
// linkxfer polls for its start character (the dots).
constexpr char kPolling[] = "Sending image.bin...\n.";
// rz answers the download request's prompts with its 'C'; it must start
// after the port is open, or linkxfer's open purges that 'C'.
constexpr char kPortOpen[] = "Sending image.bin...\n";

struct LrzszRow {
  const char* name;
  Direction direction;
  std::vector<std::string> peer;      // lrzsz command, run in the peer folder
  std::vector<std::string> linkxfer;  // options besides port, rate and time-out
  Link link;
  size_t (*arrives)(size_t n);  // length at the far end
  const char* ready_text;
};

// In G mode sz writes the closing block 0 and exits without waiting for an
// answer; rx and rz end with their last ACK. Those go through the relay.
const LrzszRow kRows[] = {
    {"sx to linkxfer -rx", kPeerSends, {"sx", kFile}, {"-rx", kFile}, kLine, WholeBlocks128,
     kSxBanner},
    {"sx to linkxfer -rc", kPeerSends, {"sx", kFile}, {"-rc", kFile}, kLine, WholeBlocks128,
     kSxBanner},
    {"sx -k to linkxfer -rx", kPeerSends, {"sx", "-k", kFile}, {"-rx", kFile}, kLine,
     WholeBlocks128, kSxBanner},
    {"sx -k to linkxfer -rc", kPeerSends, {"sx", "-k", kFile}, {"-rc", kFile}, kLine,
     WholeBlocks128, kSxBanner},
    {"sz --ymodem -k to linkxfer -r", kPeerSends, {"sz", "--ymodem", "-k", kFile}, {"-r"}, kLine,
     Exact, kAnyTime},
    {"sz --ymodem -k to linkxfer -rg", kPeerSends, {"sz", "--ymodem", "-k", kFile}, {"-rg"},
     kRelay, Exact, kAnyTime},
    {"linkxfer -sx to rx", kLinkxferSends, {"rx", kFile}, {"-sx", kFile}, kRelay, WholeBlocks128,
     kPolling},
    {"linkxfer -sx to rx -c", kLinkxferSends, {"rx", "-c", kFile}, {"-sx", kFile}, kRelay,
     WholeBlocks128, kPolling},
    {"linkxfer -sk to rx", kLinkxferSends, {"rx", kFile}, {"-sk", kFile}, kRelay, WholeBlocks128,
     kPolling},
    {"linkxfer -sk to rx -c", kLinkxferSends, {"rx", "-c", kFile}, {"-sk", kFile}, kRelay,
     WholeBlocks128, kPolling},
    {"linkxfer -sy to rz --ymodem", kLinkxferSends, {"rz", "--ymodem"}, {"-sy", kFile}, kRelay,
     Exact, kPortOpen},
};

std::string SizeName(size_t size) { return std::to_string(size) + " bytes: "; }

// The peer, on the line or behind a relay.
class Peer {
 public:
  Peer(E2eSandbox& sandbox, const LrzszRow& row) {
    ChildLaunch launch;
    launch.argv = row.peer;
    launch.argv[0] = "/usr/bin/" + launch.argv[0];
    launch.work_dir = sandbox.peer().string();
    if (row.link == kRelay) {
      relay_ = std::make_unique<E2eLineRelay>(sandbox.ComPath(2));
      launch.line_fd = relay_->program_end();
    } else {
      launch.line_path = sandbox.ComPath(2);
    }
    program_ = std::make_unique<E2eProgram>(sandbox, row.peer[0], launch);
    if (relay_) relay_->ProgramStarted();
  }

  bool started() const { return program_->started() && (!relay_ || relay_->ok()); }
  E2eProgram& program() { return *program_; }

  std::optional<ExitStatus> Finish() {
    std::optional<ExitStatus> status = program_->Finish(kRunLimitMs);
    if (relay_) relay_->WaitDrained(kDrainMs);
    return status;
  }

 private:
  std::unique_ptr<E2eLineRelay> relay_;
  std::unique_ptr<E2eProgram> program_;
};

// One file of one size between linkxfer and the peer, on a wire of its own in
// a sandbox of its own. The steps let several transfers run side by side;
// after a failed step the later ones do nothing.
class Transfer {
 public:
  Transfer(const LrzszRow& row, size_t size, uint32_t baud)
      : row_(row),
        size_(size),
        baud_(baud),
        file_(RandomBytes(size, static_cast<uint32_t>(size))),
        peer_sends_(row.direction == kPeerSends) {}

  void StartWire() {
    if (!sandbox_.ok()) return Fail("no sandbox");
    const auto source = (peer_sends_ ? sandbox_.peer() : sandbox_.host()) / kFile;
    if (!WriteBytes(source, file_)) return Fail("cannot write " + source.string());
    wire_ = std::make_unique<E2eDevsim>(
        sandbox_, std::vector<std::string>{"wire", "--com", "1", "--com", "2", "--baud",
                                           std::to_string(baud_)});
  }

  // The side that waits for the other starts first.
  void StartListener() {
    if (!failure_.empty()) return;
    if (!wire_->WaitReady()) return Fail(wire_->Diagnostics());
    if (peer_sends_) {
      StartPeer();
    } else {
      StartLinkxfer();
    }
  }

  void StartCaller() {
    if (!failure_.empty()) return;
    if (peer_sends_) {
      if (row_.ready_text && !peer_->program().WaitForErr(row_.ready_text, kReadyMs)) {
        return Fail("the peer did not get ready\n" + peer_->program().Diagnostics());
      }
      StartLinkxfer();
    } else {
      if (!linkxfer_->WaitForOut(row_.ready_text, kReadyMs)) {
        return Fail("linkxfer did not get ready\n" + linkxfer_->Diagnostics());
      }
      StartPeer();
    }
  }

  // The receiver ends last: it answers the sender's final block.
  void Finish() {
    if (!failure_.empty()) return;
    std::optional<ExitStatus> sender;
    std::optional<ExitStatus> receiver;
    if (peer_sends_) {
      sender = peer_->Finish();
      receiver = linkxfer_->Finish(kRunLimitMs);
    } else {
      receiver = peer_->Finish();
      sender = linkxfer_->Finish(kRunLimitMs);
    }
    const std::string both = linkxfer_->Diagnostics() + peer_->program().Diagnostics();
    if (!sender || !receiver) return Fail("still running\n" + both);
    if (sender->code != 0 || receiver->code != 0) {
      return Fail("sender " + sender->Describe() + ", receiver " + receiver->Describe() + "\n" +
                  both);
    }
    const char* success = peer_sends_ ? "\nReceived OK\n" : "\nSent OK\n\n";
    if (linkxfer_->Out().find(success) == std::string::npos) {
      return Fail("no success text\n" + both);
    }
    Bytes want = file_;
    want.resize(row_.arrives(size_), 0x1A);
    const Bytes got = ReadBytes((peer_sends_ ? sandbox_.host() : sandbox_.peer()) / kFile);
    if (got != want) Fail(FirstDifference(got, want) + "\n" + both);
  }

  const std::string& failure() const { return failure_; }

 private:
  void Fail(const std::string& why) {
    if (failure_.empty()) failure_ = SizeName(size_) + why;
  }

  void StartPeer() {
    peer_ = std::make_unique<Peer>(sandbox_, row_);
    if (!peer_->started()) Fail(peer_->program().Diagnostics());
  }

  void StartLinkxfer() {
    std::vector<std::string> args = row_.linkxfer;
    args.insert(args.begin() + 1, {"-p1", "-b" + std::to_string(baud_), "-t15"});
    linkxfer_ = flashkit::testing::StartLinkxfer(sandbox_, args);
    if (!linkxfer_->started()) Fail(linkxfer_->Diagnostics());
  }

  const LrzszRow& row_;
  const size_t size_;
  const uint32_t baud_;
  const Bytes file_;
  const bool peer_sends_;
  E2eSandbox sandbox_;
  std::unique_ptr<E2eDevsim> wire_;
  std::unique_ptr<Peer> peer_;
  std::unique_ptr<E2eProgram> linkxfer_;
  std::string failure_;
};

void RunSideBySide(const LrzszRow& row, const std::vector<size_t>& sizes, uint32_t baud) {
  std::vector<std::unique_ptr<Transfer>> transfers;
  for (size_t size : sizes) transfers.push_back(std::make_unique<Transfer>(row, size, baud));
  for (auto& t : transfers) t->StartWire();
  for (auto& t : transfers) t->StartListener();
  for (auto& t : transfers) t->StartCaller();
  for (auto& t : transfers) t->Finish();
  for (auto& t : transfers) {
    if (!t->failure().empty()) ADD_FAILURE() << t->failure();
  }
}

class LrzszTransfer : public ::testing::TestWithParam<LrzszRow> {};

// lrzsz pauses a second here and there (after an EOT, before a header), so
// the small files of a mode go side by side, each on its own wire.
TEST_P(LrzszTransfer, SmallFilesArriveWhole) {
  RunSideBySide(GetParam(), {0, 1, 127, 128, 129, 895, 896, 897, 1023, 1024, 1025}, kSmallBaud);
}

TEST_P(LrzszTransfer, OneMebibytePlusSevenArrivesWhole) {
  RunSideBySide(GetParam(), {kLargeSize}, kLargeBaud);
}

INSTANTIATE_TEST_SUITE_P(E2e, LrzszTransfer, ::testing::ValuesIn(kRows), XferRowName<LrzszRow>);

}  // namespace
}  // namespace flashkit::testing
