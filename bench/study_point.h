// What gf3mq-study measures at one size n: the seconds of each quantity
// (the best of its runs) and the peak memory of the process that measured
// them. Shared by the measurement (study_measure.h) and the report
// (study_report.h).
#pragma once

#include <array>
#include <cmath>
#include <string>

namespace gf3mq::study {

enum Quantity {
  keygen,              // a whole key set: the secret maps, the forms, the eight files
  encrypt_one,         // one plaintext
  encrypt_batch,       // 64 plaintexts with the key prepared beforehand
  decrypt_one,         // one ciphertext, the secret maps loaded beforehand
  attack_equations,    // the attack's phases (relations.h): its linear equations,
  attack_elimination,  // their kernel,
  attack_relations,    // the rest of each relation,
  attack_recovery,     // and one plaintext recovered with them (or searched for, below n = 9)
  kQuantities
};

struct QuantityName {
  const char* column;  // in the CSV
  const char* label;   // in the plot and the table
  const char* growth;  // k of t ~ n^k for large n, from the algorithm (doc/speed.md says why)
};

// s ~ sqrt(2n) indices behind the attack: s n unknowns (relations_plan.h).
inline constexpr std::array<QuantityName, kQuantities> kQuantityNames = {{
    {"keygen_s", "key generation", "4"},                     // n forms, two products of (n + 1)-square matrices each
    {"encrypt_s", "one encryption", "3"},                    // n forms of n (n + 1) / 2 terms
    {"encrypt64_s", "a batch of 64", "3"},                   // the same, per plaintext
    {"decrypt_s", "one decryption", "2"},                    // two n x n maps, n cubes of n digits
    {"attack_equations_s", "attack: equations", "3.5"},      // s n equations, s^2 vectors of n each
    {"attack_elimination_s", "attack: elimination", "4.5"},  // (s n)^3
    {"attack_relations_s", "attack: relations", "4"},        // n relations, (s^2 + n) n dot products of n each
    {"attack_recovery_s", "attack: recovery", "3"},          // n relations of n^2 put in, n x n solved
}};

struct Point {
  int n = 0;
  std::array<double, kQuantities> seconds;  // NaN: not measured (no such phase at n)
  bool searched = false;                    // the plaintext was searched for: no relations phases
  double peak_mb = NAN;                     // the measuring process's peak resident memory
  Point() { seconds.fill(NAN); }
};

// One line of text and back, to pass a point from the measuring process.
std::string to_line(const Point& p);
bool from_line(const std::string& line, Point& p);

}  // namespace gf3mq::study
