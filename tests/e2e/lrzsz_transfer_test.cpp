// linkxfer against lrzsz through a simulated null-modem cable, both ways and
// in every mode the two share, over the file sizes around the block edges.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_line_relay.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

constexpr char kFile[] = "image.bin";
constexpr size_t kLargeSize = (1u << 20) + 7;
// Small files go at a common rate; the large one fast enough that the suite
// stays short (lrzsz keeps up at this rate on a pseudo-terminal).
constexpr uint32_t kSmallBaud = 115200;
constexpr uint32_t kLargeBaud = 10000000;
constexpr uint32_t kPeerReadyMs = 10000;
constexpr uint32_t kRunLimitMs = 60000;
constexpr uint32_t kDrainMs = 5000;

constexpr size_t kSizes[] = {0, 1, 127, 128, 129, 895, 896, 897, 1023, 1024, 1025, kLargeSize};

// XMODEM carries no size: the receiver keeps the last block whole, 0x1A fill
// and all. These give the length that arrives for a file of n bytes.
size_t Exact(size_t n) { return n; }
size_t WholeBlocks128(size_t n) { return (n + 127) / 128 * 128; }
// sx -k sends a 1024-byte block while more than 896 bytes are left.
size_t SxOneK(size_t n) {
  size_t sent = 0;
  while (n > 0) {
    const size_t block = n > 896 ? 1024 : 128;
    sent += block;
    n -= std::min(n, block);
  }
  return sent;
}

enum class Direction { kPeerSends, kLinkxferSends };

// How the peer reaches COM2: its stdin and stdout are the line itself, or a
// socket pair relayed to the line when the peer's last act before exiting is
// a write (see E2eLineRelay).
enum class Link { kLine, kRelay };

struct LrzszRow {
  const char* name;
  Direction direction;
  std::vector<std::string> peer;      // lrzsz command, run in the peer folder
  std::vector<std::string> linkxfer;  // options besides port, rate and time-out
  Link link;
  size_t (*arrives)(size_t n);        // length at the far end
  // What the side that waits prints once it listens; the other starts then.
  const char* ready_text;
};

const LrzszRow kRows[] = {
    // sx waits for the receiver's start character after its banner.
    {"sx to linkxfer -rx", Direction::kPeerSends, {"sx", kFile}, {"-rx", kFile}, Link::kLine,
     WholeBlocks128, "Give your local XMODEM receive command now."},
    {"sx to linkxfer -rc", Direction::kPeerSends, {"sx", kFile}, {"-rc", kFile}, Link::kLine,
     WholeBlocks128, "Give your local XMODEM receive command now."},
    {"sx -k to linkxfer -rx", Direction::kPeerSends, {"sx", "-k", kFile}, {"-rx", kFile}, Link::kLine,
     SxOneK, "Give your local XMODEM receive command now."},
    {"sx -k to linkxfer -rc", Direction::kPeerSends, {"sx", "-k", kFile}, {"-rc", kFile}, Link::kLine,
     SxOneK, "Give your local XMODEM receive command now."},
    // sz keeps a start character that came before it read: no banner needed.
    {"sz --ymodem -k to linkxfer -r", Direction::kPeerSends, {"sz", "--ymodem", "-k", kFile}, {"-r"},
     Link::kLine, Exact, nullptr},
    // In G mode sz writes the closing block 0 and exits without an answer.
    {"sz --ymodem -k to linkxfer -rg", Direction::kPeerSends, {"sz", "--ymodem", "-k", kFile}, {"-rg"},
     Link::kRelay, Exact, nullptr},
    // linkxfer throws away what came before it listens, so rx and rz start
    // once it polls for their start character (the dots).
    {"linkxfer -sx to rx", Direction::kLinkxferSends, {"rx", kFile}, {"-sx", kFile}, Link::kRelay,
     WholeBlocks128, "Sending image.bin...\n."},
    {"linkxfer -sx to rx -c", Direction::kLinkxferSends, {"rx", "-c", kFile}, {"-sx", kFile},
     Link::kRelay, WholeBlocks128, "Sending image.bin...\n."},
    {"linkxfer -sk to rx", Direction::kLinkxferSends, {"rx", kFile}, {"-sk", kFile}, Link::kRelay,
     WholeBlocks128, "Sending image.bin...\n."},
    {"linkxfer -sk to rx -c", Direction::kLinkxferSends, {"rx", "-c", kFile}, {"-sk", kFile},
     Link::kRelay, WholeBlocks128, "Sending image.bin...\n."},
    // rz answers the download request's prompts with its 'C' once the port is
    // open; it must not start earlier, or linkxfer's open purges that 'C'.
    {"linkxfer -sy to rz --ymodem", Direction::kLinkxferSends, {"rz", "--ymodem"}, {"-sy", kFile},
     Link::kRelay, Exact, "Sending image.bin...\n"},
};

using LrzszParam = std::tuple<LrzszRow, size_t>;

std::string ParamName(const ::testing::TestParamInfo<LrzszParam>& info) {
  std::string out;
  bool gap = false;
  for (const char* p = std::get<0>(info.param).name; *p != '\0'; ++p) {
    if (!std::isalnum(static_cast<unsigned char>(*p))) {
      gap = true;
      continue;
    }
    if (gap && !out.empty()) out += '_';
    out += *p;
    gap = false;
  }
  return out + "_" + std::to_string(std::get<1>(info.param)) + "_bytes";
}

// The peer, on the line or behind a relay.
class Peer {
 public:
  Peer(E2eSandbox& sandbox, const LrzszRow& row) {
    ChildSpec spec;
    spec.argv = row.peer;
    spec.argv[0] = "/usr/bin/" + spec.argv[0];
    spec.work_dir = sandbox.peer().string();
    if (row.link == Link::kRelay) {
      relay_ = std::make_unique<E2eLineRelay>(sandbox.ComPath(2));
      spec.line_fd = relay_->program_end();
    } else {
      spec.line_path = sandbox.ComPath(2);
    }
    program_ = std::make_unique<E2eProgram>(sandbox, row.peer[0], spec);
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

class LrzszTransfer : public ::testing::TestWithParam<LrzszParam> {};

TEST_P(LrzszTransfer, FileArrivesWhole) {
  const auto& [row, size] = GetParam();
  const uint32_t baud = size > 64 * 1024 ? kLargeBaud : kSmallBaud;
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const Bytes file = RandomBytes(size, static_cast<uint32_t>(size));
  const bool peer_sends = row.direction == Direction::kPeerSends;
  const auto source = (peer_sends ? sandbox.peer() : sandbox.host()) / kFile;
  const auto target = (peer_sends ? sandbox.host() : sandbox.peer()) / kFile;
  ASSERT_TRUE(WriteBytes(source, file));

  E2eDevsim wire(sandbox, {"wire", "--com", "1", "--com", "2", "--baud", std::to_string(baud)});
  ASSERT_TRUE(wire.ready()) << wire.Diagnostics();

  std::vector<std::string> args = row.linkxfer;
  args.insert(args.begin() + 1, {"-p1", "-b" + std::to_string(baud), "-t15"});
  std::unique_ptr<Peer> peer;
  std::unique_ptr<E2eProgram> linkxfer;
  if (peer_sends) {
    peer = std::make_unique<Peer>(sandbox, row);
    ASSERT_TRUE(peer->started()) << peer->program().Diagnostics();
    if (row.ready_text) {
      ASSERT_TRUE(peer->program().WaitForErr(row.ready_text, kPeerReadyMs))
          << peer->program().Diagnostics();
    }
    linkxfer = StartLinkxfer(sandbox, args);
  } else {
    linkxfer = StartLinkxfer(sandbox, args);
    ASSERT_TRUE(linkxfer->WaitForOut(row.ready_text, kPeerReadyMs)) << linkxfer->Diagnostics();
    peer = std::make_unique<Peer>(sandbox, row);
    ASSERT_TRUE(peer->started()) << peer->program().Diagnostics();
  }

  // The receiver ends last: it answers the sender's final block.
  std::optional<ExitStatus> sender;
  std::optional<ExitStatus> receiver;
  if (peer_sends) {
    sender = peer->Finish();
    receiver = linkxfer->Finish(kRunLimitMs);
  } else {
    receiver = peer->Finish();
    sender = linkxfer->Finish(kRunLimitMs);
  }
  const std::string both = linkxfer->Diagnostics() + peer->program().Diagnostics();
  ASSERT_TRUE(sender && receiver) << "still running\n" << both;
  EXPECT_EQ(sender->Describe(), "exit status 0") << both;
  EXPECT_EQ(receiver->Describe(), "exit status 0") << both;
  EXPECT_NE(linkxfer->Out().find(peer_sends ? "\nReceived OK\n" : "\nSent OK\n\n"),
            std::string::npos)
      << both;

  Bytes want = file;
  want.resize(row.arrives(size), 0x1A);
  const Bytes got = ReadBytes(target);
  EXPECT_TRUE(got == want) << FirstDifference(got, want) << "\n" << both;
}

INSTANTIATE_TEST_SUITE_P(E2e, LrzszTransfer,
                         ::testing::Combine(::testing::ValuesIn(kRows), ::testing::ValuesIn(kSizes)),
                         ParamName);

}  // namespace
}  // namespace flashkit::testing
