// The key set as PARI/GP input: f, the public polynomials and, with the
// secret maps, a check of P(x) = mat_A F(mat_B x + V2) + V1 on {1, 2}^n.
#include <ostream>

#include "field/field_tables.h"
#include "learn/element_text.h"
#include "learn/key_algebra.h"
#include "scheme/key_files.h"

namespace gf3mq {

namespace {

// Up to this n the check goes over every point of {1, 2}^n; past it, over
// random ones: 200 up to kShowLimit, 5 past it, where gp takes about a
// second per point at n = 127 (its polynomials in n variables are slow).
constexpr int kCheckEveryPointUpTo = 14;
int checked_points(int n) { return n <= kShowLimit ? 200 : 5; }

void write_matrix(std::ostream& out, const char* name, const Mat_ZZ_p& m, const std::string& comment) {
  out << "\\\\ " << comment << "\n{ " << name << " = Mod([";
  for (int r = 0; r < m.num_rows(); ++r)
    out << (r > 0 ? ";\n    " : "") << digits_text(m.row(r), static_cast<std::size_t>(m.num_cols()), ", ");
  out << "], 3); }\n";
}

void write_column(std::ostream& out, const char* name, const std::uint8_t* v, std::size_t n,
                  const std::string& comment) {
  out << name << " = Mod([" << digits_text(v, n, ", ") << "]~, 3);  \\\\ " << comment << '\n';
}

void write_field(std::ostream& out, const KeyAlgebra& keys) {
  const int n = keys.sizes.n;
  if (n > kShowLimit)  // polynomials of thousands of terms in n variables outgrow gp's first stack
    out << "default(parisizemax, \"4G\");  \\\\ polynomials this long need more than gp's first stack\n";
  out << "\\\\ x is the variable of the field GF(3^" << n << ") = GF(3)[x]/(f); x1..x" << n
      << " are the plaintext's elements.\n"
      << "n = " << n << ";\n"
      << "f = Mod(1, 3) * (" << format_polynomial(keys.f) << ");  \\\\ x^n - g, g = x^n mod f: row 0 of \""
      << kReductionTableFile << "\"\n"
      << "xs = vector(n, j, eval(Str(\"x\", j)));  \\\\ [x1, ..., x" << n << "]\n\n";
}

void write_polynomials(std::ostream& out, const KeyAlgebra& keys, const ShowChoice& choice) {
  out << "\\\\ The public polynomials of \"" << kPublicKeyFile << "\": the stored cross terms xj*xk (j < k),\n"
      << "\\\\ those of each xj as xj*(...), and linear terms xj.\n";
  if (choice.secret) {
    out << "\\\\ Each P[i] ends in the constant sk[i] of \"" << kSecretKeyFile
        << "\": the sum of its square coefficients and its constant,\n"
        << "\\\\ what they add where every xj^2 = 1. So P[i] is the public map on {1, 2}^n only.\n";
  } else {
    out << "\\\\ The squares and the constant are not stored: their sum at {1, 2}^n is in the secret file \""
        << kSecretKeyFile << "\",\n"
        << "\\\\ which gf3mq-show --secret adds. Encryption evaluates these P[i] as they are.\n";
  }
  if (choice.polynomial > 0) out << "\\\\ Only P[" << choice.polynomial << "] is shown here.\n";
  out << "P = vector(n);\n";
  for_each_shown_polynomial(keys, choice, [&](int i, const std::string& text) {
    out << "P[" << i + 1 << "] = Mod(1, 3) * (" << text << ");\n";
  });
  out << '\n';
}

void write_secret_maps(std::ostream& out, const KeyAlgebra& keys) {
  const SecretKeyFiles& s = *keys.secrets;
  const std::size_t n = keys.sizes.elements();
  out << "\\\\ The secret maps S(v) = B v + V2 and T(Z) = A Z + V1, vectors as columns.\n";
  write_matrix(out, "A", s.mat_A, "mat_A, " + quoted(kMatAFile));
  write_column(out, "V1", s.V1.data(), n, quoted(kV1File));
  write_matrix(out, "B", s.mat_B, "mat_B, " + quoted(kMatBFile));
  write_column(out, "V2", s.V2.data(), n, quoted(kV2File));
  write_matrix(out, "InvA", s.A_Inv, "mat_A^-1, " + quoted(kInvAFile));
  write_matrix(out, "InvB", s.B_Inv, "mat_B^-1, " + quoted(kInvBFile));
  write_column(out, "sk", s.sk.data(), n, "the corrections, already in the P[i] above");
  out << '\n';
}

// The functions of the check, and its run.
void write_check(std::ostream& out, int n) {
  out << "\\\\ The central map F(X) = X^30 = X^27 * X^3 on GF(3^n).\n"
      << "F(X) = X^27 * X^3;\n"
      << "\\\\ mat_A F(mat_B v + V2) + V1 at v (a row of n elements): coordinate r of B v + V2 is the\n"
      << "\\\\ coefficient of x^r of X, and coordinate r of z that of x^r of Z = F(X).\n"
      << "public_map(v) = {\n"
      << "  my(X = Mod(Polrev(lift(B * v~ + V2), 'x), f), Z = lift(F(X)));\n"
      << "  A * vector(n, r, polcoef(Z, r - 1, 'x))~ + V1\n"
      << "}\n"
      << "polynomials_at(v) = vector(n, i, substvec(P[i], xs, v))~;\n"
      << "\\\\ 1 when every P[i](v) is coordinate i of public_map(v); shows the point when it is not and\n"
      << "\\\\ fewer than 3 were shown (bad: how many were found before).\n"
      << "check_point(v, bad) = {\n"
      << "  my(p = polynomials_at(v), c = public_map(v));\n"
      << "  if (p == c, return(1));\n"
      << "  if (bad < 3, print(\"FAILED at x = \", v, \": the polynomials give \", lift(p~),\n"
      << "    \", mat_A F(mat_B x + V2) + V1 gives \", lift(c~)));\n"
      << "  0\n"
      << "}\n"
      << "report(count, bad, where) = {\n"
      << "  if (A * InvA != matid(n) || B * InvB != matid(n), print(\"FAILED: InvA or InvB is not the inverse\"); "
         "bad++);\n"
      << "  if (bad == 0, print(\"check passed: P(x) = mat_A F(mat_B x + V2) + V1 at \", count, \" \", where),\n"
      << "    print(\"check FAILED at \", bad, \" of \", count, \" \", where));\n"
      << "  bad == 0\n"
      << "}\n"
      << "\\\\ Every point of {1, 2}^n (2^n of them), or k random ones.\n"
      << "check_all() = {\n"
      << "  my(count = 0, bad = 0);\n"
      << "  forvec(v = vector(n, j, [1, 2]), count++; if (!check_point(v, bad), bad++));\n"
      << "  report(count, bad, Str(\"points: all of {1, 2}^\", n))\n"
      << "}\n"
      << "check_random(k) = {\n"
      << "  my(bad = 0);\n"
      << "  for(t = 1, k, if (!check_point(vector(n, j, 1 + random(2)), bad), bad++));\n"
      << "  report(k, bad, Str(\"random points of {1, 2}^\", n))\n"
      << "}\n"
      << "if (n <= " << kCheckEveryPointUpTo << ", check_all(), check_random(" << checked_points(n) << "));\n";
}

}  // namespace

void write_key_algebra_gp(std::ostream& out, const KeyAlgebra& keys, const ShowChoice& choice) {
  out << "\\\\ The key set at n = " << keys.sizes.n
      << " as PARI/GP input (gf3mq-show --format gp): gp -q FILE, or \\r FILE in gp.\n";
  if (choice.secret) out << "\\\\ SECRET: " << secret_warning() << ".\n";
  write_field(out, keys);
  write_polynomials(out, keys, choice);
  if (!choice.secret) {
    out << "\\\\ The secret maps are not here, so P(x) = mat_A F(mat_B x + V2) + V1 cannot be checked:\n"
        << "\\\\ gf3mq-show --secret --format gp writes them and the check.\n";
    return;
  }
  if (choice.polynomial > 0) {
    out << "\\\\ The check of P(x) = mat_A F(mat_B x + V2) + V1 needs every P[i]: gf3mq-show --secret --format gp\n"
        << "\\\\ without --polynomial writes them and the check.\n";
    return;
  }
  write_secret_maps(out, keys);
  write_check(out, keys.sizes.n);
}

}  // namespace gf3mq
