// An lrzsz sender into linkxfer through a cable that loses some of the
// receiver's answers (devsim wire --faults-to the sender's port), so some
// ACKs never arrive and the sender sends their blocks again: the receiver
// acknowledges each repeat at once and the file arrives whole, in seconds.
// The seeds are ones whose lost bytes include ACKs of data blocks.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

using testing::PrintTo;

constexpr char kFile[] = "fw.bin";
constexpr size_t kSize = 4000;
constexpr uint32_t kRunLimitMs = 60000;

struct LostAckRow {
  const char* name;
  std::vector<std::string> peer;      // run in the peer folder, on COM2
  std::vector<std::string> linkxfer;  // on COM1
  const char* seed;
  size_t arrives;  // XMODEM keeps whole blocks
};

// sz and sx wait 3 s (-t 30, tenths) for an answer before they send again.
const LostAckRow kRows[] = {
    {"sz --ymodem into linkxfer -ry", {"sz", "--ymodem", "-t", "30", kFile}, {"-ry", "-p1"}, "5",
     kSize},
    {"sx into linkxfer -rc", {"sx", "-t", "30", kFile}, {"-rc", "-p1", kFile}, "5",
     (kSize + 127) / 128 * 128},
};

class LostAck : public ::testing::TestWithParam<LostAckRow> {};

TEST_P(LostAck, RepeatedBlocksAreAcknowledgedAgainAndTheFileArrives) {
  const LostAckRow& row = GetParam();
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const Bytes file = RandomBytes(kSize, 7);
  ASSERT_TRUE(WriteBytes(sandbox.peer() / kFile, file));
  E2eDevsim wire(sandbox, {"wire", "--com", "1", "--com", "2", "--drop", "0.12", "--faults-to",
                           "2", "--seed", row.seed});
  ASSERT_TRUE(wire.WaitReady()) << wire.Diagnostics();

  std::unique_ptr<E2eProgram> linkxfer = StartLinkxfer(sandbox, row.linkxfer);
  ChildLaunch launch;
  launch.argv = row.peer;
  launch.argv[0] = "/usr/bin/" + launch.argv[0];
  launch.work_dir = sandbox.peer().string();
  launch.line_path = sandbox.ComPath(2);
  E2eProgram peer(sandbox, row.peer[0], launch);

  const std::optional<ExitStatus> received = linkxfer->Finish(kRunLimitMs);
  const std::string why = linkxfer->Diagnostics() + peer.Diagnostics() + wire.Diagnostics();
  ASSERT_TRUE(received) << why;
  EXPECT_EQ(received->code, 0) << why;
  const std::optional<ExitStatus> sent = peer.Finish(kRunLimitMs);
  ASSERT_TRUE(sent) << why;
  EXPECT_NE(peer.Err().find("Retry"), std::string::npos) << "no answer was lost\n" << why;
  Bytes want = file;
  want.resize(row.arrives, 0x1A);
  const Bytes got = ReadBytes(sandbox.host() / kFile);
  EXPECT_EQ(got, want) << FirstDifference(got, want);
}

INSTANTIATE_TEST_SUITE_P(E2e, LostAck, ::testing::ValuesIn(kRows), XferRowName<LostAckRow>);

}  // namespace
}  // namespace flashkit::testing
