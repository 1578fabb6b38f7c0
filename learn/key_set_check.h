// A key set and its tables checked as a whole, as gf3mq-check reports it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gf3mq {

// One check: whether it held, and what was checked or what failed (every
// file the check involves is named when it fails).
struct CheckResult {
  enum class Outcome { held, failed, skipped };  // skipped: a file it needs failed its own check
  Outcome outcome;
  std::string text;
};

// Checks the key set and the tables of the working directory: every file
// present, complete, digits only and nothing after them; the tables
// consistent and f irreducible; the folder closed to group and others for
// writing, and the secret files closed to them; mat_A times A_Inv and mat_B
// times B_Inv the identity; B_Inv V2 with at least n/3 non-zero elements (a
// plaintext is ambiguous with probability 2^-k for k of them); the stored
// public forms zero on and above the diagonal; and "new pk.txt" plus "new
// sk.txt" equal to mat_A F(mat_B x + V2) + V1 at `points` random plaintexts
// over {1, 2} drawn from seed. The caller holds the shared folder lock.
std::vector<CheckResult> check_key_set(int points, std::uint64_t seed);

}  // namespace gf3mq
