// Table loading and the table checker. Mode 0: both files straight from the
// input. Mode 1: tables built from a polynomial taken from the input, then a
// few digits changed as the input says; the checker must accept exactly the
// unchanged tables of irreducible polynomials.
#include <algorithm>
#include <string>

#include "field/field_tables.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gf3mq::fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gf3mq::fuzz::Input in(data, size);
  gf3mq::FileProblem problem;
  gf3mq::Polynomial checked;
  if (in.byte() % 2 == 0) {
    const std::string first = in.take(in.byte() * 64u);
    const std::string second = in.rest();
    gf3mq::fuzz::write_file(gf3mq::kReductionTableFile, reinterpret_cast<const std::uint8_t*>(first.data()),
                            first.size());
    gf3mq::fuzz::write_file(gf3mq::kFrobeniusTableFile, reinterpret_cast<const std::uint8_t*>(second.data()),
                            second.size());
    Mat_ZZ_p reduction = gf3mq::make_reduction_table(), frobenius = gf3mq::make_frobenius_table();
    gf3mq::load_reduction_table(reduction);
    gf3mq::load_frobenius_table(frobenius, reduction);
    if (gf3mq::check_tables(checked, &problem)) std::abort();  // far too short to be whole tables
    return 0;
  }
  gf3mq::Polynomial f;  // monic of degree 257, the rest from the input
  f.coef.assign(258, 0);
  f.coef[257] = 1;
  const std::string coefficients = in.take(257);
  for (std::size_t i = 0; i < coefficients.size(); ++i)
    f.coef[i] = static_cast<std::uint8_t>(static_cast<unsigned char>(coefficients[i]) % 3);
  const Mat_ZZ_p built_reduction = gf3mq::build_reduction_table(f);
  const Mat_ZZ_p built_frobenius = gf3mq::build_frobenius_table(built_reduction);
  Mat_ZZ_p reduction = built_reduction, frobenius = built_frobenius;
  for (int k = in.byte() % 4; k > 0; --k) {
    Mat_ZZ_p& table = in.byte() % 2 == 0 ? reduction : frobenius;
    const int row = (in.byte() * 256 + in.byte()) % table.num_rows(), col = in.byte() % 257;
    const unsigned char before = table.get(row, col);
    table.set(row, col, static_cast<unsigned char>(before + 1 + in.byte() % 2));
  }
  // Two changes of one digit can cancel out: compare with what was built.
  const bool changed = !std::equal(reduction.data(), reduction.data() + 512 * 257, built_reduction.data()) ||
                       !std::equal(frobenius.data(), frobenius.data() + 257 * 257, built_frobenius.data());
  std::remove(gf3mq::kReductionTableFile);
  std::remove(gf3mq::kFrobeniusTableFile);
  if (!reduction.save(gf3mq::kReductionTableFile) || !frobenius.save(gf3mq::kFrobeniusTableFile)) std::abort();
  const bool accepted = gf3mq::check_tables(checked, &problem);
  if (accepted && changed) std::abort();
  if (!changed && accepted != gf3mq::is_irreducible(f)) std::abort();
  return 0;
}
