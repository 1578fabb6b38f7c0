#include "learn/key_algebra.h"

#include <ostream>

#include "field/field_tables.h"
#include "learn/element_text.h"
#include "scheme/key_files.h"

namespace gf3mq {

namespace {

// x1..xn for j = 0..n-1
std::string variable(int j) { return 'x' + std::to_string(j + 1); }

// "2*x1*x2" and the like: coefficient c (1 or 2) times the named factors.
void append_term(std::string& text, std::uint8_t c, const std::string& factors) {
  if (!text.empty()) text += " + ";
  if (c == 2) text += factors.empty() ? "2" : "2*";
  if (c == 1 && factors.empty()) text += '1';
  text += factors;
}

void write_matrix(std::ostream& out, const char* name, const char* file, const Mat_ZZ_p& m) {
  out << "  " << name << " (" << quoted(file) << "), row by row:\n";
  for (int r = 0; r < m.num_rows(); ++r)
    out << "    " << digit_list_text(m.row(r), static_cast<std::size_t>(m.num_cols())) << '\n';
}

// element: whether v is also written as a field element (V1 and V2 are).
void write_vector(std::ostream& out, const char* name, const char* file, const std::uint8_t* v, std::size_t n,
                  bool element) {
  out << "  " << name << " (" << quoted(file) << ") = " << digit_list_text(v, n);
  if (element && n <= kPolynomialTextLimit) out << "; as a field element " << polynomial_text(v, n);
  out << '\n';
}

void write_heading(std::ostream& out, const KeyAlgebra& keys, const ShowChoice& choice) {
  out << "The key set at n = " << keys.sizes.n << (choice.secret ? ", its secret key included" : ", public part")
      << "\n\n";
  if (choice.secret) out << "SECRET: " << secret_warning() << "\n\n";
}

void write_field(std::ostream& out, const KeyAlgebra& keys) {
  const int n = keys.sizes.n;
  out << "The field\n"
      << "  GF(3^" << n << ") = GF(3)[x]/(f), f = " << polynomial_text(keys.f.coef.data(), keys.f.coef.size()) << '\n'
      << "  f = x^" << n << " - g, g = x^" << n << " mod f = " << polynomial_text(keys.g.data(), keys.g.size())
      << ": row 0 of " << quoted(kReductionTableFile) << '\n'
      << "  A vector v = (v_0, ..., v_" << n - 1 << ") of GF(3)^" << n << " is the field element v_0 + v_1 x + ... + v_"
      << n - 1 << " x^" << n - 1 << ": coordinate r is the coefficient of x^r.\n\n";
}

void write_storage_note(std::ostream& out, const KeyAlgebra& keys, const ShowChoice& choice) {
  const int n = keys.sizes.n;
  out << "  Stored: the cross terms xj*xk (j < k) and the linear terms xj. Not stored: the squares xj^2 and the "
         "constant.\n";
  if (choice.secret) {
    out << "  Restored: each P_i below ends in the constant sk[i - 1] of " << quoted(kSecretKeyFile)
        << ", the sum of its square\n"
        << "  coefficients and its constant: what they add at every x over {1, 2}^" << n
        << ", where every xj^2 = 1. These P_i are\n"
        << "  the public map on {1, 2}^" << n << " (the plaintexts), not elsewhere.\n";
  } else {
    out << "  The sum of the square coefficients and the constant of each P_i (what they add at every x over\n"
        << "  {1, 2}^" << n << ", where every xj^2 = 1) is in the secret file " << quoted(kSecretKeyFile)
        << ": the P_i below are the stored\n"
        << "  terms alone, which encryption evaluates; gf3mq-show --secret adds the constants.\n";
  }
}

void write_polynomials(std::ostream& out, const KeyAlgebra& keys, const ShowChoice& choice) {
  const int n = keys.sizes.n;
  out << "The public polynomials P_1..P_" << n << " in x1..x" << n << " (" << quoted(kPublicKeyFile)
      << "): P_i stands for coordinate i - 1\n"
      << "  of mat_A F(mat_B x + V2) + V1\n";
  write_storage_note(out, keys, choice);
  for_each_shown_polynomial(keys, choice,
                            [&](int i, const std::string& text) { out << "  P_" << i + 1 << " = " << text << '\n'; });
  out << '\n';
}

void write_secret_maps(std::ostream& out, const KeyAlgebra& keys) {
  const SecretKeyFiles& s = *keys.secrets;
  const std::size_t n = keys.sizes.elements();
  out << "The secret maps: S(x) = mat_B x + V2 and T(Z) = mat_A Z + V1, vectors as columns\n";
  write_matrix(out, "mat_A", kMatAFile, s.mat_A);
  write_vector(out, "V1", kV1File, s.V1.data(), n, true);
  write_matrix(out, "mat_B", kMatBFile, s.mat_B);
  write_vector(out, "V2", kV2File, s.V2.data(), n, true);
  write_matrix(out, "Inv_A = mat_A^-1", kInvAFile, s.A_Inv);
  write_matrix(out, "Inv_B = mat_B^-1", kInvBFile, s.B_Inv);
  write_vector(out, "sk", kSecretKeyFile, s.sk.data(), n, false);
  out << '\n';
}

void write_central_map(std::ostream& out, const KeyAlgebra& keys) {
  const int n = keys.sizes.n;
  out << "The central map and the public map\n"
      << "  F(X) = X^30 = X^27 * X^3 on GF(3^" << n << ") = GF(3)[x]/(f), two-to-one (F(-X) = F(X))\n"
      << "  P(x) = mat_A F(mat_B x + V2) + V1, for x = (x1, ..., x" << n << ") over {1, 2}^" << n << ":\n"
      << "    X = sum over r of (mat_B x + V2)_r x^r, Z = F(X) = sum over r of z_r x^r,\n"
      << "    P_i(x) = (mat_A z + V1)_(i-1) (mod 3), i = 1.." << n << '\n'
      << "  Decryption: Y = Inv_A (c + sk - V1), X = +-Y^d with 30 d = 1 + (3^" << n << " - 1)/2 (mod 3^" << n
      << " - 1),\n"
      << "    x = Inv_B (X - V2): two candidates, one of them the plaintext.\n";
}

}  // namespace

const char* secret_warning() {
  return "this output holds secret key material from the secret key files; whoever reads the secret maps can "
         "decrypt every ciphertext of this key set: keep it as private as those files";
}

bool load_key_algebra(const Sizes& sizes, bool secret, KeyAlgebra& keys, FileProblem* problem) {
  keys.sizes = sizes;
  Mat_ZZ_p reduction = make_reduction_table(sizes.n);
  if (!load_reduction_table(sizes.n, reduction, problem)) return false;
  keys.g.assign(reduction.row(0), reduction.row(0) + sizes.elements());
  keys.f = polynomial_of_table(reduction);
  keys.pk.assign(sizes.public_key_digits(), 0);
  if (!read_key_file(sizes, kPublicKeyFile, keys.pk.data(), keys.pk.size(), problem, kReductionTableFile)) return false;
  keys.secrets.reset();
  if (!secret) return true;
  using Part = SecretKeyFiles::Part;
  auto secrets = std::make_unique<SecretKeyFiles>(sizes);
  if (!secrets->read({Part::mat_A, Part::V1, Part::mat_B, Part::V2, Part::A_Inv, Part::B_Inv, Part::sk}, problem))
    return false;
  keys.secrets = std::move(secrets);
  return true;
}

std::string show_refusal(int n, const ShowChoice& choice) {
  const std::string N = std::to_string(n);
  if (choice.polynomial < 0 || choice.polynomial > n)
    return "--polynomial takes K from 1 to " + N + " (P_1..P_" + N + "), not " + std::to_string(choice.polynomial);
  if (n <= kShowLimit || choice.all || choice.polynomial > 0) return "";
  const long terms = static_cast<long>(n) * (n - 1) / 2 + n + 1;
  return "the whole key set at n = " + N + " (" + N + " polynomials of up to " + std::to_string(terms) + " terms each" +
         (choice.secret ? ", four " + N + " x " + N + " matrices" : "") +
         ") is too long to read; --polynomial K shows P_K alone (K from 1 to " + N + "), --all shows everything";
}

void for_each_shown_polynomial(const KeyAlgebra& keys, const ShowChoice& choice,
                               const std::function<void(int i, const std::string& text)>& shown) {
  const int first = choice.polynomial > 0 ? choice.polynomial - 1 : 0;
  const int last = choice.polynomial > 0 ? choice.polynomial : keys.sizes.n;
  for (int i = first; i < last; ++i) {
    const std::uint8_t constant = choice.secret ? keys.secrets->sk[static_cast<std::size_t>(i)] : 0;
    shown(i, public_polynomial_text(keys.sizes, keys.pk.data() + static_cast<std::size_t>(i) * keys.sizes.form_digits(),
                                    constant, choice.format == AlgebraFormat::gp));
  }
}

std::string public_polynomial_text(const Sizes& sizes, const std::uint8_t* form, std::uint8_t constant, bool grouped) {
  const int n = sizes.n;
  const auto at = [&](int r, int c) {
    return form[static_cast<std::size_t>(r) * static_cast<std::size_t>(n + 1) + static_cast<std::size_t>(c)];
  };
  std::string text;
  for (int j = 0; j < n; ++j) {
    std::string row;  // the terms x(j+1)*xk, or the xk alone when grouped
    for (int k = j + 1; k < n; ++k)
      if (at(k, j) != 0) append_term(row, at(k, j), grouped ? variable(k) : variable(j) + "*" + variable(k));
    if (row.empty()) continue;
    if (!text.empty()) text += " + ";
    text += grouped ? variable(j) + "*(" + row + ")" : row;
  }
  for (int j = 0; j < n; ++j)
    if (at(n, j) != 0) append_term(text, at(n, j), variable(j));
  if (constant != 0) append_term(text, constant, "");
  return text.empty() ? "0" : text;
}

void write_key_algebra(std::ostream& out, const KeyAlgebra& keys, const ShowChoice& choice) {
  write_heading(out, keys, choice);
  write_field(out, keys);
  write_polynomials(out, keys, choice);
  if (!choice.secret || choice.polynomial > 0) return;
  write_secret_maps(out, keys);
  write_central_map(out, keys);
}

}  // namespace gf3mq
