// Every routine that walks raw rows checks its arguments' shapes once on
// entry, as the element-by-element definition would meet them: an argument
// smaller than the fixed sizes ends with "Matrix index out of range." before
// any row is touched (under AddressSanitizer too, with no report), a larger
// one is read within the fixed sizes with its own row length, a misshapen
// sum aborts with the add message, and a short form list throws from the
// list's checked subscript.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <random>

#include "field/field_elem.h"
#include "field/field_tables.h"
#include "scheme/composition.h"
#include "scheme/decrypt.h"
#include "scheme/encrypt.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const char* const kIndexMessage = "Matrix index out of range.";
const char* const kAddMessage = "error matrix add equal due to dim different";

// m in the top-left corner of a larger matrix whose other elements are random.
Mat_ZZ_p embed(const Mat_ZZ_p& m, int extra_rows, int extra_cols) {
  static std::mt19937 rng(92);
  Mat_ZZ_p big = random_matrix(rng, m.num_rows() + extra_rows, m.num_cols() + extra_cols);
  for (int r = 0; r < m.num_rows(); ++r) std::copy_n(m.row(r), m.num_cols(), big.row(r));
  return big;
}

// The top-left rows x cols corner of m.
Mat_ZZ_p corner(const Mat_ZZ_p& m, int rows, int cols) {
  Mat_ZZ_p small(rows, cols);
  for (int r = 0; r < rows; ++r) std::copy_n(m.row(r), cols, small.row(r));
  return small;
}

bool same(const Mat_ZZ_p& a, const Mat_ZZ_p& b) { return text(a) == text(b); }

// The arguments of a key generation of small cost: one random input and
// output map, the tables of kPolyA, forms made from them.
struct Arguments {
  std::mt19937 rng{91};
  const Mat_ZZ_p& reduction = reduction_table_of(kPolyA);
  const Mat_ZZ_p& frobenius = frobenius_table_of(kPolyA);
  Mat_ZZ_p M = random_matrix(rng, 257, 257);
  Vec_ZZ_p v = random_vector(rng, 257);
  Mat_ZZ_p a27 = random_matrix(rng, 257, 258), a3 = random_matrix(rng, 257, 258);
  FormList forms = compose_public_forms(M, v, a27, a3, reduction);
};

Arguments& arguments() {
  static Arguments a;
  return a;
}

TEST(ShapeContractDeathTest, UndersizedArgumentsEndBeforeAnyRowIsTouched) {
  Arguments& x = arguments();
  const Mat_ZZ_p src = corner(x.a27, 257, 258);
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"cube src",
       [&] {
         Mat_ZZ_p d(257, 258);
         symbolic_cube(corner(src, 257, 257), x.reduction, d);
       }},
      {"cube src rows",
       [&] {
         Mat_ZZ_p d(257, 258);
         symbolic_cube(corner(src, 256, 258), x.reduction, d);
       }},
      {"cube table",
       [&] {
         Mat_ZZ_p d(257, 258);
         symbolic_cube(src, corner(x.reduction, 512, 200), d);
       }},
      {"cube table rows",
       [&] {
         Mat_ZZ_p d(257, 258);
         symbolic_cube(src, corner(x.reduction, 511, 257), d);
       }},
      {"cube dst",
       [&] {
         Mat_ZZ_p d(257, 257);
         symbolic_cube(src, x.reduction, d);
       }},
      {"pow27 table",
       [&] {
         Mat_ZZ_p d(257, 258);
         symbolic_pow27(src, corner(x.frobenius, 256, 257), d);
       }},
      {"pow27 dst",
       [&] {
         Mat_ZZ_p d(243, 258);
         symbolic_pow27(src, x.frobenius, d);
       }},
      {"product a",
       [&] {
         FormList o;
         symbolic_product(corner(src, 256, 258), src, x.reduction, o);
       }},
      {"product b",
       [&] {
         FormList o;
         symbolic_product(src, corner(src, 257, 257), x.reduction, o);
       }},
      {"product table",
       [&] {
         FormList o;
         symbolic_product(src, src, corner(x.reduction, 255, 257), o);
       }},
      {"output map M", [&] { apply_output_map(corner(x.M, 257, 256), x.v, x.forms); }},
      {"compose M", [&] { compose_public_forms(corner(x.M, 256, 257), x.v, x.a27, x.a3, x.reduction); }},
      {"compose a27", [&] { compose_public_forms(x.M, x.v, corner(x.a27, 257, 257), x.a3, x.reduction); }},
      {"compose a3", [&] { compose_public_forms(x.M, x.v, x.a27, corner(x.a3, 256, 258), x.reduction); }},
      {"compose table", [&] { compose_public_forms(x.M, x.v, x.a27, x.a3, corner(x.reduction, 255, 257)); }},
      {"field_mul table",
       [&] {
         FieldElem o;
         field_mul(FieldElem{}, FieldElem{}, corner(x.reduction, 255, 257), o);
       }},
      {"field_cube table",
       [&] {
         FieldElem o;
         field_cube(FieldElem{}, corner(x.reduction, 512, 256), o);
       }},
      {"frobenius table",
       [&] {
         FieldElem y;
         Mat_ZZ_p p(257, 257);
         frobenius_powers(y, corner(x.reduction, 511, 257), p);
       }},
      {"frobenius powers",
       [&] {
         FieldElem y;
         Mat_ZZ_p p(257, 256);
         frobenius_powers(y, x.reduction, p);
       }},
      {"inverse powers",
       [&] {
         FieldElem o;
         central_map_inverse(Mat_ZZ_p(256, 257), x.reduction, o);
       }},
      {"inverse table",
       [&] {
         FieldElem o;
         central_map_inverse(Mat_ZZ_p(257, 257), corner(x.reduction, 255, 257), o);
       }},
      {"encrypt_vec form",
       [&] {
         FormList f = x.forms;
         f[100] = corner(f[100], 258, 256);
         encrypt_vec(x.v, f);
       }},
      {"fold form",
       [&] {
         FormList f = x.forms;
         f[5] = corner(f[5], 257, 258);
         fold_public_key(f);
       }},
      {"diagonal form",
       [&] {
         FormList f = x.forms;
         f[256] = corner(f[256], 258, 257);
         diagonal_sums(f);
       }},
      {"decrypt_vec table",
       [&] {
         std::vector<Vec_ZZ_p> out;
         decrypt_vec(x.v, ByteList(257, 0), x.M, x.v, x.M, x.v, corner(x.reduction, 511, 257), out);
       }},
  };
  for (const auto& [name, call] : cases) EXPECT_EXIT(call(), testing::ExitedWithCode(1), kIndexMessage) << name;
  // y = A_Inv (c + sk - V1) is as long as A_Inv has rows.
  EXPECT_EXIT(
      {
        std::vector<Vec_ZZ_p> out;
        decrypt_vec(x.v, ByteList(257, 0), corner(x.M, 256, 257), x.v, x.M, x.v, x.reduction, out);
      },
      testing::ExitedWithCode(1), "Vector index out of range.");
}

TEST(ShapeContractDeathTest, SumsOfOtherShapesAbortAndShortListsThrow) {
  Arguments& x = arguments();
  const Mat_ZZ_p src = corner(x.a27, 257, 258);
  EXPECT_EXIT(
      {
        Mat_ZZ_p d(258, 258);
        symbolic_cube(src, x.reduction, d);
      },
      testing::KilledBySignal(SIGABRT), kAddMessage);
  EXPECT_EXIT(
      {
        Mat_ZZ_p d(257, 259);
        symbolic_pow27(src, x.frobenius, d);
      },
      testing::KilledBySignal(SIGABRT), kAddMessage);
  for (int size : {257, 259}) {
    EXPECT_EXIT(
        {
          FormList f = x.forms;
          f[200] = Mat_ZZ_p(size, size);
          apply_output_map(x.M, x.v, f);
        },
        testing::KilledBySignal(SIGABRT), kAddMessage)
        << size;
  }
  FormList short_list(x.forms.begin(), x.forms.end() - 1);
  EXPECT_THROW(apply_output_map(x.M, x.v, short_list), std::out_of_range);
  EXPECT_THROW(diagonal_sums(short_list), std::out_of_range);
  EXPECT_THROW(fold_public_key(short_list), std::out_of_range);
  testing::internal::CaptureStdout();
  EXPECT_THROW(encrypt_vec(x.v, short_list), std::out_of_range);
  testing::internal::GetCapturedStdout();
}

TEST(ShapeContractTest, OversizedArgumentsAreReadWithinTheFixedSizes) {
  Arguments& x = arguments();
  std::mt19937& rng = x.rng;
  const Mat_ZZ_p big_reduction = embed(x.reduction, 3, 43), big_frobenius = embed(x.frobenius, 1, 5);
  const Mat_ZZ_p big_a27 = embed(x.a27, 2, 42), big_M = embed(x.M, 1, 1);
  Vec_ZZ_p big_v(260);
  std::copy_n(x.v.data(), 257, big_v.data());

  Mat_ZZ_p cube(257, 258), big_cube(257, 258), power(257, 258), big_power(257, 258);
  symbolic_cube(x.a27, x.reduction, cube);
  symbolic_cube(big_a27, big_reduction, big_cube);
  EXPECT_TRUE(same(cube, big_cube));
  symbolic_pow27(x.a27, x.frobenius, power);
  symbolic_pow27(big_a27, big_frobenius, big_power);
  EXPECT_TRUE(same(power, big_power));

  const FormList forms = compose_public_forms(big_M, big_v, big_a27, embed(x.a3, 1, 2), big_reduction);
  ASSERT_EQ(forms.size(), 257u);
  for (int i = 0; i < 257; i += 16) EXPECT_TRUE(same(forms[i], x.forms[i])) << i;
  FormList product, big_product;
  symbolic_product(x.a27, x.a3, x.reduction, product);
  symbolic_product(big_a27, embed(x.a3, 4, 300), big_reduction, big_product);
  const FormList mapped = apply_output_map(big_M, big_v, big_product);
  for (int i = 0; i < 257; i += 16) {
    EXPECT_TRUE(same(product[i], big_product[i])) << i;
    EXPECT_TRUE(same(mapped[i], x.forms[i])) << i;
  }

  // The stored forms read at 259 x 259, and folded or summed in a larger frame.
  FormList stored = x.forms, big_stored;
  const ByteList sums = diagonal_sums(stored);
  fold_public_key(stored);
  for (const Mat_ZZ_p& form : x.forms) big_stored.push_back(embed(form, 1, 1));
  EXPECT_EQ(diagonal_sums(big_stored), sums);
  fold_public_key(big_stored);
  const Vec_ZZ_p plaintext = random_vector(rng, 257);
  testing::internal::CaptureStdout();
  const Vec_ZZ_p c = encrypt_vec(plaintext, stored), big_c = encrypt_vec(plaintext, big_stored);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(text(c), text(big_c));

  const FieldElem a = random_field_element(rng), b = random_field_element(rng);
  FieldElem p1, p2, c1, c2;
  field_mul(a, b, x.reduction, p1);
  field_mul(a, b, big_reduction, p2);
  field_cube(a, x.reduction, c1);
  field_cube(a, big_reduction, c2);
  EXPECT_EQ(p1, p2);
  EXPECT_EQ(c1, c2);
  FieldElem y1 = a, y2 = a, r1, r2;
  Mat_ZZ_p powers(257, 257), big_powers = embed(Mat_ZZ_p(257, 257), 2, 2);
  frobenius_powers(y1, x.reduction, powers);
  frobenius_powers(y2, big_reduction, big_powers);
  EXPECT_TRUE(same(powers, corner(big_powers, 257, 257)));
  central_map_inverse(powers, x.reduction, r1);
  central_map_inverse(big_powers, big_reduction, r2);
  EXPECT_EQ(r1, r2);

  // Decryption with larger secret objects: the candidates grow with B_Inv's rows.
  std::vector<Vec_ZZ_p> out, big_out;
  const Mat_ZZ_p A_Inv = random_invertible(rng, 257), B_Inv = random_invertible(rng, 257);
  decrypt_vec(c, ByteList(257, 1), A_Inv, x.v, B_Inv, x.v, x.reduction, out);
  const Mat_ZZ_p tall_B_Inv = embed(B_Inv, 3, 0);
  decrypt_vec(c, ByteList(300, 1), embed(A_Inv, 5, 0), x.v, tall_B_Inv, x.v, big_reduction, big_out);
  ASSERT_EQ(big_out.size(), 2u);
  for (int m = 0; m < 2; ++m) {
    ASSERT_EQ(big_out[m].length(), 260);
    EXPECT_TRUE(std::equal(out[m].data(), out[m].data() + 257, big_out[m].data())) << m;
  }
}

}  // namespace
