// The readers of digit files, whole and in blocks, at every kernel width and
// on one and three threads, against a byte-at-a-time model of the element
// text form, on files of two pieces and more (read on every core) with their
// worst cases.
#include "files/digit_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;
using gf3mq::DigitFileResult;
using gf3mq::DigitFileStatus;

// The first `wanted` digits of text, whitespace skipped, one byte at a time.
DigitFileResult model(const std::string& text, std::size_t count, std::size_t wanted, std::vector<std::uint8_t>& out) {
  DigitFileResult r;
  for (unsigned char c : text) {
    if (r.digits == wanted) break;
    if (c >= '0' && c <= '2') {
      if (r.digits++ < count) out.push_back(static_cast<std::uint8_t>(c - '0'));
    } else if (c != ' ' && (c < '\t' || c > '\r')) {
      r.status = DigitFileStatus::bad_character;
      r.byte = c;
      return r;
    }
  }
  if (r.digits < wanted) r.status = DigitFileStatus::too_short;
  return r;
}

using DigitFileAtWidthTest = KernelWidthTest;

TEST_P(DigitFileAtWidthTest, EveryReaderAgreesWithTheModelOnEveryThreadCount) {
  ScratchDir dir;
  constexpr std::size_t kPiece = std::size_t{1} << 20, kCount = 2 * kPiece + 77;  // no multiple of 64
  std::string digits(kCount, '0');
  for (std::size_t i = 0; i < kCount; ++i) digits[i] = static_cast<char>('0' + (i * 7 + i / 5) % 3);
  auto with = [&](std::size_t at, const std::string& s) { return digits.substr(0, at) + s + digits.substr(at); };
  auto put = [&](std::size_t at, char c) { return digits.substr(0, at) + c + digits.substr(at + 1); };
  std::vector<std::string> files = {digits,       digits + "\n",  digits + " \t\r\v\f\n", digits.substr(0, kCount - 1),
                                    digits + "0", digits + "\n1", digits + " x",          with(kPiece, "\n")};
  // Whitespace and bad bytes at vector, chunk and piece borders and in the last bytes.
  for (std::size_t at : {std::size_t{0}, std::size_t{63}, std::size_t{64}, std::size_t{65535}, std::size_t{65536},
                         kPiece - 1, kPiece, kCount - 1}) {
    files.push_back(with(at, " "));
    for (char c : {'3', '/', ':', 'x', '\0', '\x80', '\xff', '\x08', '\x0e'}) files.push_back(put(at, c));
  }
  const char* set = std::getenv("GF3MQ_THREADS");
  const std::optional<std::string> threads_before = set ? std::optional<std::string>(set) : std::nullopt;
  for (std::size_t f = 0; f < files.size(); ++f) {
    write_file("digits.txt", files[f]);
    std::vector<std::uint8_t> unused;
    const std::size_t counted = model(files[f], 0, SIZE_MAX, unused).digits;
    for (const bool whole : {false, true}) {
      std::vector<std::uint8_t> expected;
      DigitFileResult want = model(files[f], kCount, kCount + (whole ? 1 : 0), expected);
      if (whole && want.digits > kCount) want.status = DigitFileStatus::too_long;
      if (whole && want.status == DigitFileStatus::too_short && want.digits == kCount)
        want.status = DigitFileStatus::ok;
      for (const char* threads : {"1", "3"}) {
        setenv("GF3MQ_THREADS", threads, 1);
        std::vector<std::uint8_t> got(kCount, 7);
        const DigitFileResult r = whole ? gf3mq::read_whole_digit_file("digits.txt", got.data(), kCount)
                                        : gf3mq::read_digit_file("digits.txt", got.data(), kCount);
        const std::string where = "file " + std::to_string(f) + (whole ? ", whole" : ", first digits") + ", " +
                                  threads + " threads: " + r.describe(kCount);
        EXPECT_EQ(r.status, want.status) << where;
        EXPECT_EQ(r.digits, want.digits) << where;
        EXPECT_EQ(r.byte, want.byte) << where;
        EXPECT_TRUE(!want.ok() || got == expected) << where;
        // In blocks of a piece and a half, each in its place and in order.
        std::vector<std::uint8_t> blocks;
        const DigitFileResult b =
            gf3mq::read_digit_file_in_blocks("digits.txt", kCount, whole, kPiece * 3 / 2,
                                             [&](std::size_t first, const std::uint8_t* elements, std::size_t length) {
                                               EXPECT_EQ(first, blocks.size()) << where;
                                               blocks.insert(blocks.end(), elements, elements + length);
                                             });
        EXPECT_TRUE(b.status == r.status && b.digits == r.digits && b.byte == r.byte) << where << ", in blocks";
        EXPECT_TRUE(!want.ok() || blocks == expected) << where << ", in blocks";
      }
    }
    EXPECT_EQ(gf3mq::count_digits("digits.txt").digits, counted) << f;
  }
  if (threads_before)
    setenv("GF3MQ_THREADS", threads_before->c_str(), 1);
  else
    unsetenv("GF3MQ_THREADS");
}

GF3MQ_AT_EVERY_KERNEL_WIDTH(DigitFileAtWidthTest);

}  // namespace
