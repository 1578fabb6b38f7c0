#include "attack/relations_gp.h"

#include <cstdio>
#include <vector>

#include "files/posix_io.h"
#include "files/whole_file.h"
#include "linalg/packed_rows.h"

namespace gf3mq {

namespace {

// prefix ["d..d", "d..d", ...] suffix: the rows of a matrix of digits (rows x
// cols, row-major), one per line (in a statement in braces, which gp reads whole).
void append_rows(std::string& text, const std::string& prefix, const std::uint8_t* digits, std::size_t rows,
                 std::size_t cols, const char* suffix) {
  text += prefix + '[';
  for (std::size_t r = 0; r < rows; ++r) {
    text += r > 0 ? ",\n  \"" : "\"";
    for (std::size_t c = 0; c < cols; ++c) text += static_cast<char>('0' + digits[r * cols + c]);
    text += '"';
  }
  text += ']';
  text += suffix;
}

// The rows of a packed matrix as digits, row-major.
std::vector<std::uint8_t> digits_of(const PackedMatrix& m) {
  std::vector<std::uint8_t> digits(m.rows() * m.cols());
  for (std::size_t r = 0; r < m.rows(); ++r) unpack_elements(m.ones(r), m.twos(r), m.cols(), &digits[r * m.cols()]);
  return digits;
}

// The heading, and digit_rows, which reads the matrices.
void append_heading(std::string& text, std::size_t n, std::uint64_t key_digest) {
  char digest[17];
  std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(key_digest));
  const std::string size = std::to_string(n);
  text += "\\\\ The " + size +
          " relations between plaintext and ciphertext that gf3mq-attack found from the public key\n"
          "\\\\ (digest " +
          digest +
          ") as PARI/GP input: gp -q FILE, or \\r FILE in gp. For every plaintext x over {1, 2}\n"
          "\\\\ and its ciphertext c (elements x_i, c_j, i and j from 1 to n), relation k is\n"
          "\\\\   sum a[k][i,j] x_i c_j + sum b[k,i] x_i + sum g[k,j] c_j + d[k] = 0   (mod 3).\n"
          "\\\\ relation(k) writes it as a polynomial in x1..xn, c1..cn; check() tests every relation at\n"
          "\\\\ pairs made with the public forms below. Matrices are lists of rows, each a string of digits.\n"

          "default(debugmem, 0); default(parisizemax, \"1G\");  \\\\ the matrices at n = 257 need more than 8 MB\n"
          "n = " +
          size +
          ";\n"
          "zero_digits = vector(n, j, 48);  \\\\ the character 0\n"
          "digit_rows(L) = matconcat(apply(r -> Vec(Vecsmall(r)) - zero_digits, L)~);\n\n";
}

// Q_i and L, as encryption reads "new pk.txt".
void append_forms(std::string& text, const PublicForms& forms) {
  const std::size_t n = forms.n();
  std::vector<std::uint8_t> q(n * n * n, 0), linear(n * n), column(n);  // q: form i, row r, column k
  for (std::size_t r = 1; r < n; ++r)
    for (std::size_t k = 0; k < r; ++k) {
      unpack_elements(forms.q_ones(k, r), forms.q_twos(k, r), n, column.data());
      for (std::size_t i = 0; i < n; ++i) q[(i * n + r) * n + k] = column[i];
    }
  for (std::size_t k = 0; k < n; ++k) {
    unpack_elements(forms.l_ones(k), forms.l_twos(k), n, column.data());
    for (std::size_t i = 0; i < n; ++i) linear[i * n + k] = column[i];
  }
  text +=
      "\\\\ The public forms of \"new pk.txt\" as encryption reads them: c_i = x Q[i] x~ + L[i,] x~, Q[i]\n"
      "\\\\ holding the coefficient of x_k x_r at row r, column k, k < r (the rest of the stored form is\n"
      "\\\\ not read: zeros here); row i of L holds those of the x_k.\n"
      "Q = vector(n);\n";
  for (std::size_t i = 0; i < n; ++i)
    append_rows(text, "{Q[" + std::to_string(i + 1) + "] = ", &q[i * n * n], n, n, ";}\n");
  append_rows(text, "{L = digit_rows(", linear.data(), n, n, ");}\n\n");
}

void append_relations(std::string& text, const Relations& r) {
  const std::size_t n = r.n;
  text += "\\\\ The relations: a[k] (row i, column j: a[k][i,j]), row k of b, row k of g, d[k].\na = vector(n);\n";
  for (std::size_t k = 0; k < r.count(); ++k)
    append_rows(text, "{a[" + std::to_string(k + 1) + "] = ", digits_of(r.a[k]).data(), n, n, ";}\n");
  append_rows(text, "{b = digit_rows(", digits_of(r.b).data(), r.count(), n, ");}\n");
  append_rows(text, "{g = digit_rows(", digits_of(r.g).data(), r.count(), n, ");}\n");
  append_rows(text, "d = digit_rows(", r.d.data(), 1, r.count(), ")[1, ];\n\n");
}

// every "@name@" of text replaced by value.
std::string with(std::string text, const std::string& name, const std::string& value) {
  for (std::size_t at = 0; (at = text.find(name, at)) != std::string::npos; at += value.size())
    text.replace(at, name.size(), value);
  return text;
}

// The random plaintexts checked past kGpCheckEveryPlaintextUpTo: gp takes
// about a millisecond per relation and plaintext at n = 257.
std::size_t gp_random_plaintexts(std::size_t n) { return n <= 63 ? 64 : 8; }

// The check, 8 pairs at a time: the elements t, t of B M D~ for the
// plaintexts in the rows of B and the ciphertexts in those of D are the
// values of x M c~ for each pair (x, c).
void append_check(std::string& text, std::size_t n) {
  const char* check = R"gp(xs = vector(n, i, eval(Str("x", i))); cs = vector(n, j, eval(Str("c", j)));
relation(k) = xs * digit_rows(a[k]) * cs~ + b[k, ] * xs~ + g[k, ] * cs~ + d[k];  \\ coefficients mod 3
\\ The plaintexts checked, one per row: up to n = @all@ every one over {1, 2} (row t + 1 the digits
\\ of t in base 2, lowest first, 0 read as 1 and 1 as 2), past it @random@ random ones.
plaintexts() = {
  Mod(if (n <= @all@, matrix(2^n, n, t, i, 1 + bittest(t - 1, i - 1)), matrix(@random@, n, t, i, 1 + random(2))), 3)
}
\\ x M c~ for the pairs in the rows of B and D, as a column.
bilinear(B, M, D) = my(P = B * M * D~); vector(matsize(P)[1], t, P[t, t])~;
\\ The ciphertexts of the rows of X by the public forms, one per row.
ciphertexts(X) = {
  my(C = matrix(matsize(X)[1], n), q, B, v);
  for (i = 1, n, q = digit_rows(Q[i]);
    forstep (s = 1, matsize(X)[1], 8, B = X[s..s + 7, ]; v = bilinear(B, q, B) + B * L[i, ]~;
      for (t = 1, 8, C[s + t - 1, i] = v[t])));
  C
}
\\ The first pair (row of X and C) where relation k does not hold, or 0.
first_failure(k, X, C) = {
  my(A = digit_rows(a[k]), B, D, v);
  forstep (s = 1, matsize(X)[1], 8, B = X[s..s + 7, ]; D = C[s..s + 7, ];
    v = bilinear(B, A, D) + B * b[k, ]~ + D * g[k, ]~ + vector(8, t, d[k])~;
    for (t = 1, 8, if (v[t] != 0, return(s + t - 1))));
  0
}
check() = {
  my(X = plaintexts(), C = ciphertexts(X), bad = 0, t);
  for (k = 1, n, t = first_failure(k, X, C);
    if (t, bad++; if (bad <= 3, print("FAILED: relation ", k, " does not hold at x = ", lift(X[t, ]),
      " and its ciphertext c = ", lift(C[t, ])))));
  if (bad, print("check FAILED: ", bad, " of the ", n, " relations do not hold"),
    print("check passed: the ", n, " relations hold at ", matsize(X)[1],
      if (n <= @all@, " pairs: every plaintext over {1, 2}", " pairs of random plaintexts over {1, 2}")));
  bad == 0
}
check();
)gp";
  text += with(with(check, "@all@", std::to_string(kGpCheckEveryPlaintextUpTo)), "@random@",
               std::to_string(gp_random_plaintexts(n)));
}

}  // namespace

bool save_relations_gp(const std::string& file_name, const Relations& r, const PublicForms& forms,
                       std::uint64_t key_digest, FileProblem* problem) {
  std::string text;
  append_heading(text, r.n, key_digest);
  append_forms(text, forms);
  append_relations(text, r);
  append_check(text, r.n);
  return write_whole_file(
      file_name, 0600, Placement::replace, [&](int fd) { return write_all(fd, text.data(), text.size()); }, problem);
}

}  // namespace gf3mq
