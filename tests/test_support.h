// Helpers shared by the test suites: scratch folders, files, random objects.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "field/field_elem.h"
#include "linalg/mat_zz_p.h"
#include "linalg/packed_matrix.h"
#include "linalg/vec_zz_p.h"
#include "runtime/kernel_width.h"
#include "scheme/composition.h"

namespace gf3mq {

// GoogleTest prints a width by its name.
void PrintTo(KernelWidth width, std::ostream* out);

}  // namespace gf3mq

namespace gf3mq::test {

// Names of the project (not the system's own) that the suites use unqualified.
using gf3mq::ByteList;
using gf3mq::central_map_root;
using gf3mq::compose_public_forms;
using gf3mq::field_cube;
using gf3mq::FormList;

// A fresh folder under the system's temporary directory that the current
// working directory moves into for the object's lifetime; removed afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

void write_file(const std::string& name, const std::string& content);
std::string read_file(const std::string& name);
bool file_exists(const std::string& name);
std::vector<std::string> list_dir(const std::string& dir);  // names, sorted

// A matrix from its elements, row by row (each stored with set, mod 3).
Mat_ZZ_p mat(int rows, int cols, std::initializer_list<int> values);

// The console forms: "[[1 0 2][0 1 1]]", "[2 0 1]".
std::string text(const Mat_ZZ_p& m);
std::string text(const Vec_ZZ_p& v);

// Random elements of GF(3) from a fixed seed.
std::vector<std::uint8_t> random_elements(std::mt19937& rng, std::size_t n);
Mat_ZZ_p random_matrix(std::mt19937& rng, int rows, int cols);
Mat_ZZ_p random_invertible(std::mt19937& rng, int n);
Vec_ZZ_p random_vector(std::mt19937& rng, int n);
Vec_ZZ_p identity_column(int n, int i);
Mat_ZZ_p identity(int n);

// Two irreducible polynomials, so that nothing depends on one f.
inline constexpr const char* kPolyA = "x^257 + 2*x^22 + 1";
inline constexpr const char* kPolyB = "x^257 + 2*x^91 + 1";
// A dense irreducible polynomial: its table has no sparse form.
inline constexpr const char* kPolyDense =
    "x^257 + x^256 + x^254 + x^253 + 2*x^250 + x^246 + x^242 + 2*x^239 + 2*x^233 + x^228 + 2*x^224 + x^215 + "
    "x^209 + 2*x^200 + x^197 + 2*x^194 + x^187 + 2*x^183 + 2*x^176 + x^168 + 2*x^161 + 2*x^160 + 2*x^148 + "
    "x^134 + 2*x^125 + 2*x^114 + x^97 + x^94 + x^90 + x^84 + x^83 + x^80 + 2*x^70 + x^66 + 2*x^57 + x^56 + "
    "x^53 + x^52 + 2*x^47 + x^40 + x^36 + x^21 + x^18 + 2";

// Tables of a polynomial, built once per process.
const Mat_ZZ_p& reduction_table_of(const std::string& poly);
const Mat_ZZ_p& frobenius_table_of(const std::string& poly);

// Writes both table files of poly into the current directory.
void write_tables_here(const std::string& poly);

// Writes both table files of the default f of degree n (default_polynomial).
void write_tables_of_degree(int n);

// Field helpers built on the library's own field_cube and field_mul.
FieldElem x_power(int k);  // x^k, k <= 256
FieldElem random_field_element(std::mt19937& rng);
FieldElem cube_times(FieldElem y, int times, const Mat_ZZ_p& table);  // y^(3^times)
FieldElem central_map(const FieldElem& X, const Mat_ZZ_p& table);     // X^27 * X^3

// The public map from the secret objects: mat_A F(mat_B x + V2) + V1.
Vec_ZZ_p public_map(const Mat_ZZ_p& mat_A, const Vec_ZZ_p& V1, const Mat_ZZ_p& mat_B, const Vec_ZZ_p& V2,
                    const Vec_ZZ_p& x, const Mat_ZZ_p& table);

// The elements of a packed matrix as text, row by row ("102\n011\n").
std::string text_of(const PackedMatrix& m);

// A packed matrix of random elements.
PackedMatrix random_packed(std::mt19937& rng, std::size_t rows, std::size_t cols);

// 64-bit FNV-1a of a byte string.
std::uint64_t fnv1a(const std::string& bytes, std::uint64_t hash = 1469598103934665603ull);

// A test run once at each kernel width, the width its parameter: TEST_P of
// a suite declared as `using SuiteName = KernelWidthTest;` and instantiated
// with GF3MQ_AT_EVERY_KERNEL_WIDTH(SuiteName). Each instance runs at its
// width; one at a width this processor lacks is skipped, and GoogleTest
// reports it as skipped with "this processor has no <width>". After every
// instance the widest width the processor has is in use again.
class KernelWidthTest : public testing::TestWithParam<KernelWidth> {
 protected:
  void SetUp() override;
  void TearDown() override;

  KernelWidth width() const { return GetParam(); }

  // Runs body() at the widest width the processor has, then returns to
  // width(): for results to compare with the ones at width().
  template <typename Body>
  void at_widest_width(Body body) {
    set_kernel_width(available_kernel_widths().back());
    body();
    set_kernel_width(width());
  }
};

// "portable", "avx2", "avx512": the last part of each instance's name.
std::string kernel_width_test_name(const testing::TestParamInfo<KernelWidth>& info);

// Names EveryWidth/<suite>.<test>/<width>, so `ctest -R avx512` selects
// one width.
#define GF3MQ_AT_EVERY_KERNEL_WIDTH(suite)                                                                       \
  INSTANTIATE_TEST_SUITE_P(                                                                                      \
      EveryWidth, suite,                                                                                         \
      testing::Values(::gf3mq::KernelWidth::portable, ::gf3mq::KernelWidth::avx2, ::gf3mq::KernelWidth::avx512), \
      ::gf3mq::test::kernel_width_test_name)

// The shell command that runs program `name` of this build in the C locale
// (exact console bytes, English messages): env LC_ALL=C '<bin>/<name>'.
std::string program(const std::string& name);

// The lines of text, without their line breaks.
std::vector<std::string> lines_of(const std::string& text);

// Runs a shell command; returns its exit status (or -1 when it died by a signal).
struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};
CommandResult run_command(const std::string& command);

// Whether strace is installed, for the tests that inject faults with it.
bool have_strace();

// strace, with LeakSanitizer (which cannot run under ptrace) off in sanitizer builds.
inline const std::string kStrace = "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f ";

// Runs command under strace with one fault injected into the syscalls named
// (only those touching path, when given). when: "N" for the N-th call, "N+"
// for every call from the N-th on.
CommandResult with_fault(const std::string& syscalls, const std::string& fault, const std::string& when,
                         const std::string& command, const std::string& path = "");

}  // namespace gf3mq::test
