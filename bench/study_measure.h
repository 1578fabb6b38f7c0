// gf3mq-study's measurement of one size, through the library routines:
// the default tables of n as gf3mq-tables --degree n writes them, a key set
// from a seeded source, encryption, decryption and the attack.
#pragma once

#include <functional>
#include <string>

#include "bench/study_point.h"

namespace gf3mq::study {

// Told what is being measured, for a progress line.
using Status = std::function<void(const std::string& what)>;

// Measures n in the current folder, which is empty and writable: every
// quantity runs at least once and then again while budget (seconds, for the
// whole size) lasts, at most kMostRuns times; each keeps its best time.
// The plaintext the attack recovers is checked to encrypt to its ciphertext. peak_mb is
// left to the caller. False, with problem set, when a step fails.
inline constexpr int kMostRuns = 7;
bool measure(int n, double budget, const Status& status, Point& out, std::string& problem);

}  // namespace gf3mq::study
