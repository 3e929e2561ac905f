#include "sim/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace flashkit::sim {
namespace {

std::span<const uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

struct DigestCase {
  const char* name;
  std::string message;
  const char* digest;
};

class Sha256Vectors : public ::testing::TestWithParam<DigestCase> {};

TEST_P(Sha256Vectors, WholeMessage) {
  EXPECT_EQ(Sha256::Hex(AsBytes(GetParam().message)), GetParam().digest);
}

// The digest must not depend on how the message is cut into pieces.
TEST_P(Sha256Vectors, FedInPieces) {
  const std::string& m = GetParam().message;
  for (size_t piece : {1u, 3u, 55u, 63u, 64u, 65u}) {
    Sha256 sha;
    for (size_t at = 0; at < m.size(); at += piece) {
      sha.Update(AsBytes(m).subspan(at, std::min(piece, m.size() - at)));
    }
    EXPECT_EQ(Sha256::ToHex(sha.Finish()), GetParam().digest) << "pieces of " << piece;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fips180, Sha256Vectors,
    ::testing::Values(
        DigestCase{"Abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        DigestCase{"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        DigestCase{"Bits448", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                   "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        // 55 and 56 bytes: the length field just fits, or needs one more block.
        DigestCase{"Bytes55", std::string(55, 'a'),
                   "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        DigestCase{"Bytes56", std::string(56, 'a'),
                   "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
