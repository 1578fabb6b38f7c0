#include "bench/study_measure.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <vector>

#include "attack/public_forms.h"
#include "attack/recover.h"
#include "attack/relations.h"
#include "field/field_polynomial.h"
#include "field/field_tables.h"
#include "runtime/huge_pages.h"
#include "scheme/decrypt.h"
#include "scheme/encrypt.h"
#include "scheme/encrypt_batch.h"
#include "scheme/gf3_source.h"
#include "scheme/keygen.h"

namespace gf3mq::study {

namespace {

using Clock = std::chrono::steady_clock;
// The time by which a share (0 to 1) of the size's budget is spent.
using Deadline = std::function<Clock::time_point(double share)>;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Samples of `calls` calls, with calls doubled until a sample lasts a
// millisecond (fast operations at small n); samples are taken until
// `until`, at least one and at most kMostRuns. The best seconds per call.
template <typename Call>
double best_time(Call call, Clock::time_point until) {
  double best = INFINITY;
  long calls = 1;
  for (int samples = 0; samples < kMostRuns;) {
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < calls; ++i) call();
    const double seconds = since(start);
    if (seconds < 1e-3 && calls < (1L << 20)) {
      calls *= 2;
      continue;
    }
    best = std::min(best, seconds / static_cast<double>(calls));
    ++samples;
    if (Clock::now() >= until) break;
  }
  return best;
}

// The attack's relations with the time of each of its phases.
class TimedAttack {
 public:
  bool run(const PublicForms& forms, Relations& relations, std::string& problem) {
    phase_.clear();
    RelationsReport report;
    const bool found = relations_from_public_forms(
        forms, relations, [this](const char* phase, double) { enter(phase); }, &report);
    enter("");
    if (!found) problem = "the attack found no relations: " + report.failure;
    if (!unknown_.empty()) problem = "the attack reports a phase \"" + unknown_ + "\" that the study does not time";
    return problem.empty();
  }
  // Adds the best time of each phase to p.
  void keep_best(Point& p) const {
    for (const auto& [quantity, seconds] : best_) p.seconds[quantity] = seconds;
  }
  void end_run() {
    for (const auto& [quantity, seconds] : run_)
      best_[quantity] = best_.count(quantity) != 0 ? std::min(best_[quantity], seconds) : seconds;
    run_.clear();
  }

 private:
  void enter(const std::string& phase) {
    if (phase == phase_) return;
    if (!phase_.empty()) {
      const auto known = kPhases.find(phase_);
      if (known == kPhases.end())
        unknown_ = phase_;
      else
        run_[known->second] += since(start_);  // a phase again, for a larger set, adds up
    }
    phase_ = phase;
    start_ = Clock::now();
  }
  inline static const std::map<std::string, Quantity> kPhases = {
      {"equations", attack_equations}, {"elimination", attack_elimination}, {"relations", attack_relations}};
  std::string phase_, unknown_;
  Clock::time_point start_;
  std::map<Quantity, double> run_, best_;
};

std::vector<unsigned char> plaintexts(std::size_t n, std::size_t count) {
  std::vector<unsigned char> m(n * count);
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = static_cast<unsigned char>(1 + (i * 7 + i / 5) % 2);
  return m;
}

// The tables of gf3mq-tables --degree n and a key set from a seeded source.
bool make_key_set(const Sizes& sizes, unsigned char* pk, unsigned char* sk, Clock::time_point until, Point& out,
                  std::string& problem) {
  FileProblem file_problem;
  if (write_tables(default_polynomial(sizes.n), &file_problem) != TablesWritten::both) {
    problem = "cannot write the tables: " + file_problem.message();
    return false;
  }
  bool made = true;
  out.seconds[keygen] = best_time(
      [&] {
        SeededGf3Source source(1);
        made = made && generate_key_set(sizes, pk, sk, source, &file_problem) == 0;
      },
      until);
  if (!made) problem = "key generation failed: " + file_problem.message();
  return made;
}

}  // namespace

namespace {

// Encryption, a batch and decryption with the key set of the folder; c
// receives the ciphertexts of m.
bool measure_scheme(const Sizes& sizes, const unsigned char* pk, const unsigned char* sk, const Deadline& until,
                    const std::vector<unsigned char>& m, std::vector<unsigned char>& c, Point& out,
                    std::string& problem) {
  out.seconds[encrypt_one] = best_time([&] { encrypt_at(sizes, pk, m.data(), c.data()); }, until(0.3));
  const PreparedPublicKey prepared(sizes, pk);
  out.seconds[encrypt_batch] = best_time([&] { prepared.encrypt(m.data(), kBatch, c.data()); }, until(0.35));
  SecretMaps maps(sizes);
  FileProblem file_problem;
  if (!maps.load(&file_problem)) {
    problem = "cannot load the secret maps: " + file_problem.message();
    return false;
  }
  std::vector<unsigned char> both(sizes.decrypted_bytes());
  out.seconds[decrypt_one] = best_time([&] { maps.decrypt(sk, c.data(), both.data()); }, until(0.4));
  return true;
}

// The attack's phases, then the recovery of the first ciphertext's
// plaintext: one that encrypts to it, as a rule the one sent.
bool measure_attack(const Sizes& sizes, const unsigned char* pk, const Deadline& until, const unsigned char* c,
                    const Status& status, Point& out, std::string& problem) {
  const PublicForms forms(pk, sizes.elements());
  Relations relations;
  out.searched = sizes.elements() < kSmallestDegreeForRelations;
  if (!out.searched) {
    TimedAttack attack;
    for (int run = 0; run < kMostRuns && (run == 0 || Clock::now() < until(0.9)); ++run) {
      status("attack, run " + std::to_string(run + 1));
      if (!attack.run(forms, relations, problem)) return false;
      attack.end_run();
    }
    attack.keep_best(out);
  }
  status("attack: recovery");
  PlaintextRecovery recovery(relations, forms);
  Plaintexts found;
  bool recovered = true;
  out.seconds[attack_recovery] = best_time(
      [&] {
        found = out.searched ? search_plaintexts(forms, c) : recovery.recover(c);
        recovered = recovered && !found.empty();
      },
      until(1));
  std::vector<unsigned char> again(sizes.elements());
  if (recovered) encrypt_at(sizes, pk, found.front().data(), again.data());
  if (!recovered || std::memcmp(again.data(), c, again.size()) != 0) {
    problem = "the attack recovered no plaintext of the first ciphertext";
    return false;
  }
  return true;
}

}  // namespace

bool measure(int n, double budget, const Status& status, Point& out, std::string& problem) {
  const Clock::time_point start = Clock::now();
  const Deadline until = [&](double share) {
    return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(share * budget));
  };
  const Sizes sizes{n};
  out = Point{};
  out.n = n;
  HugePageBuffer pk = make_huge_page_buffer(sizes.public_key_digits());
  std::vector<unsigned char> sk(sizes.elements());
  status("key generation");
  if (!make_key_set(sizes, pk.get(), sk.data(), until(0.25), out, problem)) return false;
  status("encryption and decryption");
  const std::vector<unsigned char> m = plaintexts(sizes.elements(), kBatch);
  std::vector<unsigned char> c(m.size());
  return measure_scheme(sizes, pk.get(), sk.data(), until, m, c, out, problem) &&
         measure_attack(sizes, pk.get(), until, c.data(), status, out, problem);
}

}  // namespace gf3mq::study
