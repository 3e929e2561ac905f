#include "common/sha256.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace flashkit {
namespace {

namespace fs = std::filesystem;

std::span<const uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

struct DigestCase {
  const char* name;
  std::string message;
  const char* digest;
};

class Sha256Vectors : public ::testing::TestWithParam<DigestCase> {};

// The digest must not depend on how the message is cut, and a finished
// hasher must start afresh for the next board's image.
TEST_P(Sha256Vectors, WholeAndInUnevenPieces) {
  const std::span<const uint8_t> m = AsBytes(GetParam().message);
  Sha256 sha;
  sha.Update(m);
  EXPECT_EQ(Sha256Hex(sha.Finish()), GetParam().digest) << "whole";

  // Cuts that fill a part block, finish one, and pass whole blocks straight through.
  constexpr size_t kCuts[] = {1, 2, 63, 64, 65, 127, 3, 0};
  size_t at = 0;
  for (size_t i = 0; at < m.size(); ++i) {
    const size_t piece = std::min(kCuts[i % std::size(kCuts)], m.size() - at);
    sha.Update(m.data() + at, piece);
    at += piece;
  }
  EXPECT_EQ(Sha256Hex(sha.Finish()), GetParam().digest) << "in pieces";
}

INSTANTIATE_TEST_SUITE_P(
    KnownAnswers, Sha256Vectors,
    ::testing::Values(
        DigestCase{"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        DigestCase{"Abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        DigestCase{"Bits448", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                   "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        DigestCase{"Bits896",
                   "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                   "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
                   "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        DigestCase{"MillionA", std::string(1'000'000, 'a'),
                   "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Around the padding: from 56 bytes on, the length needs one more block.
        DigestCase{"Bytes55", std::string(55, 'a'),
                   "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        DigestCase{"Bytes56", std::string(56, 'a'),
                   "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        DigestCase{"Bytes63", std::string(63, 'a'),
                   "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        DigestCase{"Bytes64", std::string(64, 'a'),
                   "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        DigestCase{"Bytes65", std::string(65, 'a'),
                   "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"}),
    [](const auto& info) { return std::string(info.param.name); });

class Sha256File : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }

  const fs::path dir_ =
      fs::temp_directory_path() / ("flashkit-sha256-" + std::to_string(std::random_device{}()));
};

// Two whole 64 KiB pieces and one byte more: every byte read, in order.
TEST_F(Sha256File, HashesTheWholeFile) {
  std::vector<char> data(2 * 64 * 1024 + 1);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  const fs::path path = dir_ / "image.bin";
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));

  EXPECT_EQ(Sha256OfFile(path.string()),
            "dd84db969f4ff2abb79c8c2fbc06e8d8e02c46d6481c958e057f7ad7a24c58a7");
}

// No digest at all rather than the digest of nothing.
TEST_F(Sha256File, NothingForWhatCannotBeRead) {
  EXPECT_EQ(Sha256OfFile((dir_ / "missing.bin").string()), std::nullopt);
  EXPECT_EQ(Sha256OfFile(dir_.string()), std::nullopt) << "a directory";
}

}  // namespace
}  // namespace flashkit
