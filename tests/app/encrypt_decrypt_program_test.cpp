// gf3mq-encrypt and gf3mq-decrypt run as a user would: round trips through
// files and pipes, -C with a relative FILE, the line format, and every
// refusal, which names the line and the column and writes nothing after it;
// input without end refused at its first bad line, in bounded memory.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const std::string kEncrypt = program("gf3mq-encrypt");
const std::string kDecrypt = program("gf3mq-decrypt");

std::string random_plaintext(std::mt19937& rng) {
  std::string line;
  for (int i = 0; i < 257; ++i) line += static_cast<char>('1' + rng() % 2);
  return line;
}

class MessageProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(run_command("mkdir keys && " + program("gf3mq-tables") + " -C keys && " + program("gf3mq-keygen") +
                          " -C keys --no-wait")
                  .status,
              0);
    std::mt19937 rng(61);
    for (int i = 0; i < 4; ++i) plaintexts += random_plaintext(rng) + "\n";
  }
  ScratchDir dir;
  std::string plaintexts;
};

TEST_F(MessageProgramTest, RoundTripsThroughFilesAndPipes) {
  write_file("keys/plain.txt", plaintexts);
  CommandResult run = run_command(kEncrypt + " -C keys plain.txt > cipher.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string ciphertexts = read_file("cipher.txt");
  EXPECT_EQ(ciphertexts.size(), 4u * 258);
  run = run_command(kDecrypt + " -C keys < cipher.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, plaintexts);
  run = run_command("cat keys/plain.txt | " + kEncrypt + " -C keys | " + kDecrypt + " -C keys -");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, plaintexts);
  // Blanks within lines and empty lines are skipped; the output is the same.
  std::string spaced = "\n\n";
  for (std::size_t i = 0; i < plaintexts.size(); ++i) {
    if (plaintexts[i] == '\n') {
      spaced.append("\r\n\n");
      continue;
    }
    if (i % 50 == 0) spaced.append("  \t");
    spaced.push_back(plaintexts[i]);
  }
  write_file("spaced.txt", spaced);
  run = run_command(kEncrypt + " -C keys ../spaced.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, ciphertexts);
  // --both: the message first, the other candidate after it.
  run = run_command(kDecrypt + " --both -C keys ../cipher.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(run.out.size(), 8u * 258);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(run.out.substr(516 * i, 258), plaintexts.substr(258 * i, 258)) << i;
    EXPECT_NE(run.out.substr(516 * i + 258, 258), plaintexts.substr(258 * i, 258)) << i;
  }
}

TEST_F(MessageProgramTest, ManyPlaintextsGiveTheSameCiphertextsAsFew) {
  // 70 plaintexts go through the batch route, 4 at a time one by one.
  std::mt19937 rng(62);
  std::string many;
  for (int i = 0; i < 70; ++i) many += random_plaintext(rng) + "\n";
  write_file("many.txt", many);
  CommandResult run = run_command(kEncrypt + " -C keys ../many.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string ciphertexts = run.out;
  ASSERT_EQ(ciphertexts.size(), 70u * 258);
  for (std::size_t first : {0, 4, 60, 66}) {
    write_file("few.txt", many.substr(first * 258, 4 * 258));
    run = run_command(kEncrypt + " -C keys ../few.txt");
    EXPECT_EQ(run.out, ciphertexts.substr(first * 258, 4 * 258)) << first;
  }
  write_file("cipher.txt", ciphertexts);
  run = run_command(kDecrypt + " -C keys ../cipher.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, many);
}

TEST_F(MessageProgramTest, SixHundredLinesComeBackEachOnceTheLastWithoutALineBreakToo) {
  // Batches of 256 lines, input chunks that end within a line, and --trace,
  // which takes one line at a time.
  std::mt19937 rng(63);
  std::string many;
  for (int i = 0; i < 600; ++i) many += random_plaintext(rng) + "\n";
  write_file("many.txt", many.substr(0, many.size() - 1));
  CommandResult run = run_command(kEncrypt + " -C keys ../many.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(lines_of(run.out).size(), 600u);
  EXPECT_TRUE(run_command(kEncrypt + " --trace -C keys ../many.txt 2>/dev/null").out == run.out);
  write_file("cipher.txt", run.out.substr(0, run.out.size() - 1));
  run = run_command(kDecrypt + " -C keys ../cipher.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(lines_of(run.out).size(), 600u);
  EXPECT_TRUE(run.out == many);
}

TEST_F(MessageProgramTest, AfterDoubleDashAnOperandThatBeginsWithADashIsAFile) {
  write_file("keys/-x", plaintexts);
  CommandResult run = run_command(kEncrypt + " -C keys -- -x </dev/null");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string ciphertexts = run.out;
  EXPECT_EQ(ciphertexts, run_command(kEncrypt + " -C keys < keys/-x").out);
  write_file("keys/-x", ciphertexts);
  run = run_command(kDecrypt + " -C keys -- -x </dev/null");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, plaintexts);
  // Not even an option the program knows: one plaintext each, not two.
  write_file("keys/--both", ciphertexts);
  run = run_command(kDecrypt + " -C keys -- --both </dev/null");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, plaintexts);
}

TEST_F(MessageProgramTest, EncryptionNeedsOnlyThePublicKey) {
  ASSERT_EQ(run_command("mkdir public && cp 'keys/new pk.txt' public/").status, 0);
  write_file("plain.txt", plaintexts);
  const CommandResult run = run_command(kEncrypt + " -C public ../plain.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, run_command(kEncrypt + " -C keys ../plain.txt").out);
  EXPECT_EQ(list_dir("public"), (std::vector<std::string>{"new pk.txt"}));
}

TEST_F(MessageProgramTest, BadPlaintextsAreNamedAndNothingAfterThemIsWritten) {
  const std::string good = plaintexts.substr(0, 258);
  std::string with_zero = good;
  with_zero[16] = '0';
  std::string with_letter = good;
  with_letter[200] = 'x';
  write_file("keys/good.txt", good);
  const std::string good_ciphertext = run_command(kEncrypt + " -C keys good.txt").out;
  ASSERT_EQ(good_ciphertext.size(), 258u);
  // text, what the message says, and how many good lines come before the bad one.
  const std::vector<std::tuple<std::string, std::string, int>> cases = {
      {good + with_zero, "\"in.txt\", line 2, column 17: \"0\" is not 1 or 2", 1},
      {good + "\n" + with_letter, "\"in.txt\", line 3, column 201: \"x\" is not 1 or 2", 1},
      {good + good.substr(0, 256) + "\n", "\"in.txt\", line 2: holds 256 elements, not 257", 1},
      {good.substr(0, 257) + "1\n", "\"in.txt\", line 1: holds more than 257 elements", 0},
      {good.substr(0, 100) + "\x01" + good.substr(100), "\"in.txt\", line 1, column 101: the byte 0x01 is not 1 or 2",
       0},
      {good + good + with_zero + good, "\"in.txt\", line 3, column 17", 2},
      // Blanks count as columns: the "x" is the 204th character of its line.
      {" \t\r" + with_letter, "\"in.txt\", line 1, column 204: \"x\" is not 1 or 2", 0}};
  for (const auto& [text, message, good_lines] : cases) {
    write_file("keys/in.txt", text);
    const CommandResult run = run_command(kEncrypt + " -C keys in.txt");
    EXPECT_EQ(run.status, 1) << message;
    std::string expected;
    for (int i = 0; i < good_lines; ++i) expected += good_ciphertext;
    EXPECT_EQ(run.out, expected) << message;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
  CommandResult run = run_command("printf '12\\n' | " + kEncrypt + " -C keys");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("standard input, line 1: holds 2 elements, not 257"), std::string::npos) << run.err;
  run = run_command("printf '1\\n' | " + kEncrypt + " -C keys");
  EXPECT_NE(run.err.find("standard input, line 1: holds 1 element, not 257"), std::string::npos) << run.err;
  run = run_command(kEncrypt + " -C keys missing.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"missing.txt\" cannot be opened: No such file or directory"), std::string::npos);
  run = run_command(kEncrypt + " -C keys ..");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"..\" cannot be read: Is a directory"), std::string::npos) << run.err;
  run = run_command("echo | " + kEncrypt + " -C .");  // no key set here
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new pk.txt\" cannot be opened"), std::string::npos) << run.err;
}

TEST_F(MessageProgramTest, WhatIsNotACiphertextOfThisSetIsSaidSo) {
  write_file("plain.txt", plaintexts);
  ASSERT_EQ(run_command(kEncrypt + " -C keys ../plain.txt > cipher.txt").status, 0);
  std::string ciphertexts = read_file("cipher.txt");
  ciphertexts[258 * 2 + 5] = ciphertexts[258 * 2 + 5] == '0' ? '1' : '0';  // the third one changed
  write_file("cipher.txt", ciphertexts);
  CommandResult run = run_command(kDecrypt + " -C keys ../cipher.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, plaintexts.substr(0, 2 * 258));  // the lines before the bad one, nothing after
  EXPECT_NE(run.err.find("\"../cipher.txt\", line 3: neither candidate encrypts back: this is not a ciphertext of "
                         "this key set, or the key set is inconsistent"),
            std::string::npos)
      << run.err;
  write_file("cipher.txt", std::string(257, '1') + "3\n");
  run = run_command(kDecrypt + " -C keys ../cipher.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"../cipher.txt\", line 1, column 258: \"3\" is not 0, 1 or 2"), std::string::npos)
      << run.err;
  // A secret file of another key generation: every ciphertext fails.
  ASSERT_EQ(run_command("mkdir other && " + program("gf3mq-tables") + " -C other && " + program("gf3mq-keygen") +
                        " -C other --no-wait && cp 'other/new V1.txt' keys/")
                .status,
            0);
  run = run_command(kEncrypt + " -C keys ../plain.txt | " + kDecrypt + " -C keys");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("standard input, line 1: neither candidate encrypts back"), std::string::npos) << run.err;
}

TEST_F(MessageProgramTest, InputWithoutEndIsRefusedAtItsFirstBadLineInBoundedMemory) {
  // Address space for the program and its key, far below what an input
  // read whole would take (the sanitizers reserve too much to be limited).
  const bool sanitized = std::string(GF3MQ_CXX_FLAGS).find("sanitize") != std::string::npos;
  const std::string limit = sanitized ? "" : "ulimit -v 400000; ";
  for (const std::string name : {"gf3mq-encrypt", "gf3mq-decrypt", "gf3mq-attack"}) {
    const std::string reader = "(" + limit + "timeout 60 " + program(name) + " -C keys)";
    CommandResult run = run_command(reader + " </dev/zero");
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_NE(run.err.find("standard input, line 1, column 1: the byte 0x00 is not"), std::string::npos) << run.err;
    run = run_command("yes 1 | tr -d '\\n' | " + reader);  // one line of digits that never ends
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_NE(run.err.find("standard input, line 1: holds more than 257 elements"), std::string::npos) << run.err;
  }
  // 300 MB of blanks hold no line at all.
  const CommandResult run =
      run_command("head -c 300000000 /dev/zero | tr '\\0' ' ' | (" + limit + "timeout 60 " + kEncrypt + " -C keys)");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
}

TEST_F(MessageProgramTest, InputWithoutEndIsAnsweredAsItComesInBoundedMemory) {
  // Good lines without end: the first answers are written while the input
  // still comes, and the reader ends when the one who reads them stops.
  const bool sanitized = std::string(GF3MQ_CXX_FLAGS).find("sanitize") != std::string::npos;
  const std::string limit = sanitized ? "" : "ulimit -v 400000; ";
  const std::string line = plaintexts.substr(0, 257);
  write_file("keys/one.txt", line + "\n");
  const std::string ciphertext = run_command(kEncrypt + " -C keys one.txt").out;
  ASSERT_EQ(ciphertext.size(), 258u);
  write_file("keys/one_cipher.txt", ciphertext);
  const std::string plaintext_again = run_command(kDecrypt + " -C keys one_cipher.txt").out;
  ASSERT_EQ(plaintext_again, line + "\n");
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"gf3mq-encrypt", line, ciphertext}, {"gf3mq-decrypt", ciphertext.substr(0, 257), line + "\n"}};
  for (const auto& [name, input, answer] : cases) {
    const CommandResult run =
        run_command("yes " + input + " | (" + limit + "timeout 60 " + program(name) + " -C keys) | head -n 3");
    EXPECT_EQ(run.out, answer + answer + answer) << name << ": " << run.err;
  }
}

TEST_F(MessageProgramTest, AMissingTableIsMadeByTheTablesToolAndAMissingKeyByKeygen) {
  write_file("keys/plain.txt", plaintexts);
  ASSERT_EQ(run_command(kEncrypt + " -C keys plain.txt > cipher.txt").status, 0);
  ASSERT_EQ(run_command("mv 'keys/new Xe_mod_Irredfx.txt' table.txt").status, 0);
  CommandResult run = run_command(kDecrypt + " -C keys ../cipher.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new Xe_mod_Irredfx.txt\" cannot be opened: No such file or directory; gf3mq-tables "
                         "writes the tables"),
            std::string::npos)
      << run.err;
  ASSERT_EQ(run_command("mv table.txt 'keys/new Xe_mod_Irredfx.txt' && rm 'keys/new Inv_B.txt'").status, 0);
  run = run_command(kDecrypt + " -C keys ../cipher.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new Inv_B.txt\" cannot be opened: No such file or directory; gf3mq-keygen makes a key set"),
            std::string::npos)
      << run.err;
}

TEST_F(MessageProgramTest, AClosedPipeEndsTheProgramAsItEndsTheStandardFilters) {
  write_file("keys/plain.txt", plaintexts);
  // The reader is gone before anything is written (the one reader of a
  // FIFO has ended, whatever the load): SIGPIPE, status 141, as cat or seq
  // end; a full disk is an error of the program's own, status 1.
  CommandResult run = run_command("mkfifo gone && { true <gone & exec 3>gone; wait $!; " + kEncrypt +
                                  " -C keys plain.txt >&3; echo $? >status; rm gone; }");
  EXPECT_EQ(read_file("status"), "141\n");
  EXPECT_EQ(run.err, "");
  run = run_command(kEncrypt + " -C keys plain.txt >/dev/full");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("standard output could not be written: No space left on device"), std::string::npos)
      << run.err;
}

}  // namespace
