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
};

inline constexpr std::array<QuantityName, kQuantities> kQuantityNames = {{
    {"keygen_s", "key generation"},
    {"encrypt_s", "one encryption"},
    {"encrypt64_s", "a batch of 64"},
    {"decrypt_s", "one decryption"},
    {"attack_equations_s", "attack: equations"},
    {"attack_elimination_s", "attack: elimination"},
    {"attack_relations_s", "attack: relations"},
    {"attack_recovery_s", "attack: recovery"},
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
