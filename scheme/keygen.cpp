#include "scheme/keygen.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "field/field_tables.h"
#include "files/digit_file.h"
#include "runtime/locked_pages.h"
#include "scheme/composition.h"
#include "scheme/key_files.h"
#include "scheme/key_set.h"

namespace {

using gf3mq::FileProblem;
using gf3mq::kDefaultSizes;

// Adds to problem what the failure means for the folder's key set.
int fail(FileProblem* problem, const char* outcome) {
  if (problem != nullptr) problem->problem += outcome;
  return -1;
}
constexpr const char* kNothingMade = "; no key set was made";
constexpr const char* kInPlaceBut = "; the new key set is in place nonetheless";

// For a caller that does not want the new set back: its secret key read
// back, and "new pk.txt" opened and found whole by its size, without
// reading its digits (a gigabyte at 1021).
bool check_in_place(const gf3mq::Sizes& sizes, FileProblem* problem) {
  const gf3mq::DigitFileResult length = gf3mq::file_length(gf3mq::kPublicKeyFile);
  if (!length.ok()) return gf3mq::report_problem(problem, gf3mq::kPublicKeyFile, length.describe(0));
  if (length.digits != sizes.public_key_digits())
    return gf3mq::report_problem(problem, gf3mq::kPublicKeyFile,
                                 "does not hold its " + std::to_string(sizes.public_key_digits()) + " digits");
  gf3mq::SecretVector<std::uint8_t> sk(sizes.elements());
  return gf3mq::read_key_file(sizes, gf3mq::kSecretKeyFile, sk.data(), sk.size(), problem, gf3mq::kReductionTableFile);
}

// One file of a key set: its final name, whether it is secret, and how its
// content is written.
struct KeyFile {
  const char* name;
  bool secret;
  std::function<bool(gf3mq::DigitFileAppender&)> write;
};

// Writes every file to a temporary through the descriptor that created it
// (secret files mode 0600) and syncs it.
bool write_temporaries(const std::vector<KeyFile>& files, std::vector<gf3mq::NewFile>& out, FileProblem* problem) {
  const mode_t public_mode = gf3mq::public_file_mode();
  for (const KeyFile& file : files) {
    gf3mq::NewFile written{file.name, {}};
    if (!write_digit_temporary(written.temp, file.name, file.secret ? 0600 : public_mode, file.write, problem))
      return false;
    out.push_back(std::move(written));
  }
  return true;
}

bool append_matrix(gf3mq::DigitFileAppender& out, const Mat_ZZ_p& m) {
  return out.append(m.data(), static_cast<std::size_t>(m.num_rows()) * static_cast<std::size_t>(m.num_cols()));
}

bool append_vector(gf3mq::DigitFileAppender& out, const Vec_ZZ_p& v) {
  return out.append(v.data(), static_cast<std::size_t>(v.length()));
}

// Counts the public forms made on the worker threads and reports the
// fraction done, from one thread at a time (the others go on without waiting).
class FormsDone {
 public:
  FormsDone(const gf3mq::PhaseProgress& progress, const char* phase, int n)
      : progress_(progress), phase_(phase), n_(n) {}
  void one_more() {
    const int done = ++done_;
    if (!progress_) return;
    std::unique_lock<std::mutex> lock(reporting_, std::try_to_lock);
    if (lock.owns_lock() && done < n_) progress_(phase_, static_cast<double>(done) / n_);
  }

 private:
  const gf3mq::PhaseProgress& progress_;
  const char* phase_;
  int n_;
  std::atomic<int> done_{0};
  std::mutex reporting_;
};

bool draw_map(Mat_ZZ_p& M, Vec_ZZ_p& v, gf3mq::Gf3Source& source, FileProblem* problem) {
  if (random_affine_map(M, v, source) == 0) return true;
  return gf3mq::report_problem(problem, "", "the random generator failed: " + source.error());
}

// Redraws of (mat_B, V2) after the first, while B_Inv V2 breaks the rule.
constexpr int kRedraws = 100;

// (mat_B, V2) and B_Inv, drawn from source until B_Inv V2 holds the rule
// ambiguity_rule_holds (keygen.h), at most 1 + kRedraws times (once when the rule is
// skipped): the draws that follow one another from one source, so a seeded
// source gives the same key every time.
bool draw_inner_map(Mat_ZZ_p& mat_B, Vec_ZZ_p& V2, Mat_ZZ_p& B_Inv, gf3mq::Gf3Source& source, bool hold_rule,
                    FileProblem* problem) {
  const int n = mat_B.num_rows();
  for (int draw = 0; draw <= kRedraws; ++draw) {
    if (!draw_map(mat_B, V2, source, problem)) return false;
    B_Inv = inverse(mat_B);
    if (!hold_rule || gf3mq::ambiguity_rule_holds(gf3mq::ambiguity_weight(B_Inv, V2), n)) return true;
  }
  return gf3mq::report_problem(
      problem, "",
      "the source of random elements gives no key set that passes gf3mq-check: \"new Inv_B.txt\" times \"new "
      "V2.txt\" had fewer than n/3 (here " +
          std::to_string((n + 2) / 3) + ") non-zero elements in each of " + std::to_string(1 + kRedraws) +
          " draws of mat_B and V2");
}

}  // namespace

int keygen(unsigned char* pk, unsigned char* sk, FileProblem* problem) {
  gf3mq::SystemGf3Source source;
  return gf3mq::keygen(pk, sk, source, problem);
}

namespace gf3mq {

namespace {

// hold_rule: whether (mat_B, V2) is redrawn while B_Inv V2 breaks the rule.
int make_key_set(const Sizes& sizes, unsigned char* pk, unsigned char* sk, Gf3Source& source, FileProblem* problem,
                 const PhaseProgress& progress, bool hold_rule) {
  const auto [reading, drawing, composing, placing] = kKeygenPhases;
  // Both null: the caller does not want the new set back (check_in_place).
  const bool read_back_wanted = pk != nullptr || sk != nullptr;
  if (read_back_wanted && (pk == nullptr || sk == nullptr)) return -1;
  const int n = sizes.n;
  // A run killed during its renames left a journal: its set is finished
  // first. Then what killed runs left behind goes. A key name that holds
  // what this user may not replace stops the run before any work.
  if (!finish_unfinished_key_set(problem) || !remove_leftovers(problem) || !may_replace(key_set_files(), problem))
    return fail(problem, kNothingMade);

  // The tables come first, checked: without a field no key can be made.
  report_progress(progress, reading, 0);
  Mat_ZZ_p Xi_modIrred = make_reduction_table(n);
  Mat_ZZ_p X_27i_modIrred = make_frobenius_table(n);
  if (!load_reduction_table(n, Xi_modIrred, problem) || !load_frobenius_table(X_27i_modIrred, Xi_modIrred, problem))
    return fail(problem, kNothingMade);
  report_progress(progress, reading, 1);

  report_progress(progress, drawing, 0);
  Mat_ZZ_p mat_A(n, n), mat_B(n, n);
  Vec_ZZ_p V1(n), V2(n);
  // The secret maps are locked out of swap before they are drawn, their
  // inverses as soon as they are made (where the system allows).
  const std::size_t elements = sizes.elements();
  const LockedPages locked_maps[] = {{mat_A.data(), elements * elements},
                                     {mat_B.data(), elements * elements},
                                     {V1.data(), elements},
                                     {V2.data(), elements}};
  Mat_ZZ_p B_Inv(n, n);
  if (!draw_map(mat_A, V1, source, problem) || !draw_inner_map(mat_B, V2, B_Inv, source, hold_rule, problem))
    return fail(problem, kNothingMade);
  const Mat_ZZ_p A_Inv = inverse(mat_A);
  const LockedPages locked_inverses[] = {{A_Inv.data(), elements * elements}, {B_Inv.data(), elements * elements}};
  report_progress(progress, drawing, 1);

  report_progress(progress, composing, 0);

  const Mat_ZZ_p A_X = augmented(mat_B, V2);
  const LockedPages locked_augmented(A_X.data(), elements * (elements + 1));
  Mat_ZZ_p A_X3_Sum(n, n + 1), A_X27_Sum(n, n + 1);
  symbolic_powers(A_X, Xi_modIrred, X_27i_modIrred, A_X3_Sum, A_X27_Sum);
  // The public forms are made on every worker thread while "new pk.txt" is
  // written: each is taken its diagonal sum (SK), folded and written at its
  // own place in the file, in whatever order the forms are done.
  ByteList SK(sizes.elements());
  const LockedPages locked_sk(SK.data(), SK.size());
  FormsDone forms_done(progress, composing, n);
  auto write_public_key = [&](DigitFileAppender& out) {
    std::atomic<int> failure{0};
    make_public_forms_in_parallel(
        mat_A, V1, A_X27_Sum, A_X3_Sum, Xi_modIrred,
        [&](int i, Mat_ZZ_p& form) {
          SK[static_cast<std::size_t>(i)] = diagonal_sum(form, n + 1);
          fold_form(form, n + 1);
          if (!write_digits_at(out.fd(), static_cast<std::uint64_t>(i) * sizes.form_digits(), form.data(),
                               sizes.form_digits()))
            failure = errno;
          forms_done.one_more();
        },
        n);
    errno = failure;
    return failure == 0;
  };

  const std::vector<KeyFile> files = {
      {kMatAFile, true, [&](DigitFileAppender& out) { return append_matrix(out, mat_A); }},
      {kV1File, true, [&](DigitFileAppender& out) { return append_vector(out, V1); }},
      {kMatBFile, true, [&](DigitFileAppender& out) { return append_matrix(out, mat_B); }},
      {kV2File, true, [&](DigitFileAppender& out) { return append_vector(out, V2); }},
      {kInvAFile, true, [&](DigitFileAppender& out) { return append_matrix(out, A_Inv); }},
      {kInvBFile, true, [&](DigitFileAppender& out) { return append_matrix(out, B_Inv); }},
      {kPublicKeyFile, false, write_public_key},
      {kSecretKeyFile, true, [&](DigitFileAppender& out) { return out.append(SK.data(), SK.size()); }},
  };
  std::vector<NewFile> written;
  const bool complete = write_temporaries(files, written, problem);
  secure_wipe(SK.data(), SK.size());  // the other secrets wipe themselves
  if (!complete) return fail(problem, kNothingMade);
  report_progress(progress, composing, 1);
  report_progress(progress, placing, 0);
  switch (replace_as_a_whole(written, problem)) {
    case Replacement::done:
      break;
    case Replacement::done_but:
      if (read_back_wanted) read_key_pair(sizes, pk, sk, nullptr);  // the new set, as written
      return fail(problem, kInPlaceBut);
    case Replacement::not_started:
      return fail(problem, kNothingMade);
    case Replacement::undone:
      return fail(problem, "; no key set was made, and the previous key set is back in place");
    case Replacement::unfinished:
      return fail(problem,
                  "; the replacement was left unfinished, and the next gf3mq program that can write this folder "
                  "finishes it");
  }
  if (read_back_wanted ? !read_key_pair(sizes, pk, sk, problem) : !check_in_place(sizes, problem))
    return fail(problem, "; the new key set is in place, but could not be read back");
  report_progress(progress, placing, 1);
  return 0;
}

}  // namespace

int generate_key_set(const Sizes& sizes, unsigned char* pk, unsigned char* sk, Gf3Source& source, FileProblem* problem,
                     const PhaseProgress& progress) {
  return make_key_set(sizes, pk, sk, source, problem, progress, true);
}

int keygen(unsigned char* pk, unsigned char* sk, Gf3Source& source, FileProblem* problem) {
  if (pk == nullptr || sk == nullptr) return -1;
  return generate_key_set(kDefaultSizes, pk, sk, source, problem);
}

int ambiguity_weight(const Mat_ZZ_p& B_Inv, const Vec_ZZ_p& V2) {
  const Vec_ZZ_p sum = B_Inv * V2;
  return static_cast<int>(std::count_if(sum.data(), sum.data() + sum.length(), [](std::uint8_t e) { return e != 0; }));
}

int keygen_skipping_ambiguity_rule(unsigned char* pk, unsigned char* sk, Gf3Source& source, FileProblem* problem) {
  if (pk == nullptr || sk == nullptr) return -1;
  return make_key_set(kDefaultSizes, pk, sk, source, problem, {}, false);
}

}  // namespace gf3mq
