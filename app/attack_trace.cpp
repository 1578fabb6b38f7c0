#include "app/attack_trace.h"

#include <algorithm>
#include <numeric>

#include "attack/public_forms.h"
#include "attack/recover.h"
#include "attack/relations.h"
#include "attack/relations_plan.h"
#include "learn/element_text.h"

namespace gf3mq {

namespace {

std::string number(std::size_t v) { return std::to_string(v); }

// coefficient * name, joined to text by " + " as gp reads it: "2*x1*c3",
// "x1*c3", or the coefficient alone for an empty name.
void append_term(std::string& text, unsigned coefficient, const std::string& name) {
  if (coefficient == 0) return;
  if (!text.empty()) text += " + ";
  if (name.empty())
    text += static_cast<char>('0' + coefficient);
  else
    text += (coefficient == 2 ? "2*" : "") + name;
}

// x1..xn and c1..cn (appended, not "x" + number: g++ 12 warns wrongly on that inlined).
std::string variable(char letter, std::size_t index) {
  std::string name(1, letter);
  name += number(index + 1);
  return name;
}
std::string x_name(std::size_t u) { return variable('x', u); }
std::string c_name(std::size_t j) { return variable('c', j); }

// sum a_ij x_i c_j + sum b_i x_i + sum g_j c_j + d of relation k.
std::string relation_text(const Relations& r, std::size_t k) {
  std::string text;
  for (std::size_t u = 0; u < r.n; ++u)
    for (std::size_t j = 0; j < r.n; ++j) append_term(text, r.a[k].get(u, j), x_name(u) + "*" + c_name(j));
  for (std::size_t u = 0; u < r.n; ++u) append_term(text, r.b.get(k, u), x_name(u));
  for (std::size_t j = 0; j < r.n; ++j) append_term(text, r.g.get(k, j), c_name(j));
  append_term(text, r.d[k], "");
  return (text.empty() ? "0" : text) + " = 0";
}

// Row k of the relations at a ciphertext: sum of m(k, u) x_u + constant.
std::string equation_text(const RelationsAtCiphertext& system, std::size_t k) {
  std::string text;
  for (std::size_t u = 0; u < system.m.cols(); ++u) append_term(text, system.m.get(k, u), x_name(u));
  append_term(text, system.constant[k], "");
  return (text.empty() ? "0" : text) + " = 0";
}

// "what 1: ...", each of count lines up to n = 31, past it the first and how many more.
template <typename Text>
void lines_up_to_the_limit(Trace& trace, const std::string& what, std::size_t count, std::size_t n, Text text) {
  const std::size_t shown = n <= kPolynomialTextLimit ? count : std::min<std::size_t>(count, 1);
  for (std::size_t k = 0; k < shown; ++k) trace.says(what + " " + number(k + 1) + ": " + text(k));
  if (shown < count)
    trace.says("and " + number(count - shown) + " more " + what +
               "s of the same form (all are written up to n = " + number(kPolynomialTextLimit) + ")");
}

// The place of the first v in values; values.size() when it is not there.
template <class Values, class Value>
std::size_t place_of(const Values& values, const Value& v) {
  return static_cast<std::size_t>(std::ranges::find(values, v) - values.begin());
}

// Whether point `name` is over {1, 2} and encrypts back to c, said.
void tell_whether_it_encrypts_back(Trace& trace, const PublicForms& forms, const std::string& name,
                                   const std::vector<std::uint8_t>& x, const std::uint8_t* c) {
  if (const std::size_t zero = place_of(x, 0); zero < x.size())
    trace.says(name + " has a 0 at place " + number(zero) + " (counting from 0): it is no plaintext over {1, 2}");
  else if (encrypts_to(forms, x, c))
    trace.says(name + " is over {1, 2} and encrypts back to c");
  else
    trace.says(name + " is over {1, 2} but does not encrypt back to c");
}

// The verdict on what recover() found, the points named by name_of.
template <typename Name>
void tell_verdict(Trace& trace, const Plaintexts& found, Name name_of) {
  if (found.empty())
    trace.says("no plaintext over {1, 2} encrypts back: c is no ciphertext of this public key");
  else if (found.size() == 1)
    trace.says("the message is " + name_of(found[0]));
  else
    trace.says(name_of(found[0]) + " and " + name_of(found[1]) +
               " encrypt back: the plaintext is ambiguous, it cannot be told from c alone");
}

// Why the line's three points are the ones they are, with the numbers of n.
void tell_why_three_points(Trace& trace, std::size_t n) {
  trace.says(
      "why three points: for Y != 0 the identity U^81 Y = U Y^9 holds at U = 0 and where U^80 = Y^8. At odd n, "
      "gcd(80, 3^n - 1) = 2, so U -> U^80 takes each of its values at exactly two points, U and -U: U^80 = Y^8 has "
      "the two solutions +-U0, U0 the U of the plaintext (U0^10 = Y). So U is 0, U0 or -U0; X (U = X^3, and "
      "cubing is one-to-one and odd) is 0, X0 or -X0; and x = Inv_B (X - V2) is x0 = -Inv_B V2 or one of "
      "decryption's two candidates Inv_B (+-X0 - V2). Their sum is Inv_B (0 + X0 - X0 - 3 V2) = 0 (mod 3)");
  unsigned power = 1;  // 3^n mod 80
  for (std::size_t i = 0; i < n; ++i) power = power * 3 % 80;
  const unsigned less_one = (power + 79) % 80;
  trace.says("3^" + number(n) + " mod 80 = " + number(power) + " (3^4 = 81 = 1 mod 80), so gcd(80, 3^" + number(n) +
             " - 1) = gcd(80, " + number(less_one) + ") = " + number(std::gcd(80u, less_one)));
}

}  // namespace

void trace_identity(Trace& trace, std::size_t n) {
  trace.heading("the attack");
  trace.says(
      "the identity: with U = X^3 and Y = X^30 = U^(3^2 + 1), every X of GF(3^n) satisfies U^(3^4) Y = U Y^(3^2), "
      "both sides being U^(3^4 + 3^2 + 1). Powers 3^k are GF(3)-linear maps, so U = (mat_B x + V2)^3 and U^(3^4) "
      "are affine functions of the plaintext x, and Y = Inv_A (c + sk - V1) and Y^(3^2) affine functions of the "
      "ciphertext c. Each of the n coordinates of U^(3^4) Y - U Y^(3^2) is then a sum of products of an affine "
      "function of x and one of c: an equation sum a_ij x_i c_j + sum b_i x_i + sum g_j c_j + d = 0 that holds for "
      "every plaintext over {1, 2} and its ciphertext. The attack knows none of mat_B, V2, Inv_A, V1, sk: it finds "
      "the equations from the public key alone, as the coefficients (a, b, g, d) that vanish on every pair");
  trace.says("3^4 = 81, 3^2 = 9, 30 = 3 * (3^2 + 1) = 3 * 10: U^81 Y = U^81 U^10 = U^91 and U Y^9 = U U^90 = U^91");
  trace.says("n = " + number(n) + ": " + number(n) + " relations, each with " + number(n * n) + " coefficients a_ij, " +
             number(n) + " b_i, " + number(n) + " g_j and d");
}

void trace_relations(Trace& trace, const Relations& r, const RelationsReport* report, const std::string& loaded_from) {
  const std::size_t n = r.n;
  if (report == nullptr) {
    trace.says("the relations saved in \"" + loaded_from + "\" for this public key: " + number(r.count()));
  } else {
    const std::size_t s = report->set_size;
    trace.says(
        "the relations from the public forms: in an index set S of s indices, the pairs (a, b) have vectors q(a, b) "
        "of coefficients of x_a x_b spanning GF(3)^n; then for every e outside S the equations of the triples (a, b, "
        "e) give row a_e of a relation through the rows a_S, and the equations left over are linear in the s n "
        "unknowns of a_S. Their kernel, of n dimensions, gives the relations (the other rows of a, then g, b, d)");
    trace.says("index set S = {1, ..., " + number(s) + "} (x1 to x" + number(s) + ", s = " + number(s) +
               "): " + number(s * (s - 1) / 2) + " pairs for GF(3)^" + number(n));
    trace.says("equations = " + number(report->equations) + ", unknowns = " + number(report->unknowns) +
               " (s n), rank = " + number(report->rank) + ", kernel = " + number(report->unknowns - report->rank) +
               ": " + number(r.count()) + " relations");
  }
  lines_up_to_the_limit(trace, "relation", r.count(), n, [&](std::size_t k) { return relation_text(r, k); });
}

void trace_no_set_serves(Trace& trace, std::size_t n) {
  trace.heading("the attack");
  trace.says("at n = " + number(n) + " no index set serves: a set of s indices (s < n, some indices outside it) " +
             "needs s (s - 1) / 2 >= n pairs to span GF(3)^n, and more equations than the rank s n - n that n " +
             "relations leave in its s n unknowns, by " + number(kEquationsToSpare) + " to spare:");
  for (std::size_t s = 2; s < n; ++s) {
    const std::size_t pairs = s * (s - 1) / 2;
    if (pairs < n)
      trace.says("s = " + number(s) + ": " + number(pairs) + " pairs, fewer than " + number(n));
    else
      trace.says("s = " + number(s) + ": " + number(pairs) + " pairs, " + number(equations_for(n, s)) + " equations, " +
                 number(s * n - n + kEquationsToSpare) + " needed" + (set_can_serve(n, s) ? "" : ": too few"));
  }
  trace.says(
      "so every plaintext over {1, 2} is tried instead, in the order of x_0 + 2 x_1 + 4 x_2 + ... (digit 0 "
      "for 1, 1 for 2), until two encrypt to c: 2^" +
      number(n) + " = " + number(std::size_t{1} << n) + " at most");
}

void trace_search(Trace& trace, const std::uint8_t* c, const Plaintexts& found, std::uint64_t tried) {
  trace.vector("ciphertext c", c);
  trace.says("tried " + number(tried) + " plaintexts over {1, 2}: found " + number(found.size()) + " encrypting to c");
  for (std::size_t i = 0; i < found.size(); ++i) trace.vector("plaintext " + number(i + 1), found[i].data());
  tell_verdict(trace, found,
               [&](const std::vector<std::uint8_t>& x) { return "plaintext " + number(place_of(found, x) + 1); });
}

void trace_recovery(Trace& trace, PlaintextRecovery& recovery, const Relations& r, const PublicForms& forms,
                    const std::uint8_t* c, const Plaintexts& found) {
  const std::size_t n = r.n;
  trace.heading("recovery");
  trace.vector("ciphertext c", c);
  const RelationsAtCiphertext system = relations_at(r, c);
  trace.says(
      "the relations at c, linear in x: sum over i of (sum over j of a_ij c_j + b_i) x_i + (sum over j of "
      "g_j c_j + d) = 0");
  lines_up_to_the_limit(trace, "equation", r.count(), n, [&](std::size_t k) { return equation_text(system, k); });
  std::vector<std::uint8_t> m0;
  PackedMatrix directions;
  if (!solutions_of(system, m0, directions)) {
    trace.says("the equations have no solution");
    return tell_verdict(trace, found, [](const std::vector<std::uint8_t>&) { return std::string(); });
  }
  const std::size_t rank = n - directions.rows();
  const std::vector<std::uint8_t>& x0 = recovery.central_zero();
  const std::string x0_label = "x0 = -Inv_B V2, where X = 0 and the lines of every ciphertext meet";
  if (rank == 0) {
    trace.says(
        "rank = 0: every relation vanishes at c, so Y = 0 (U^81 Y and U Y^9 are 0 whatever U is), X = 0 "
        "(X^30 = 0 only there), and the one plaintext c can have is x0 = -Inv_B V2, found from the public key "
        "alone where the lines of the ciphertexts of two plaintexts drawn from a fixed seed meet");
    if (x0.empty()) {
      trace.says("no two such lines meet in one point: the public key is not one of this scheme");
    } else {
      trace.vector(x0_label, x0.data());
      tell_whether_it_encrypts_back(trace, forms, "x0", x0, c);
    }
    return tell_verdict(trace, found, [](const std::vector<std::uint8_t>&) { return std::string("x0"); });
  }
  trace.says("rank = " + number(rank) + (rank + 1 == n ? " (n - 1)" : ""));
  trace.vector("m0, a solution", m0.data());
  std::vector<std::uint8_t> row(n);
  for (std::size_t i = 0; i < directions.rows(); ++i) {
    directions.get_row(i, row.data(), n);
    trace.vector(directions.rows() == 1 ? "t, the direction of the solutions" : "direction " + number(i + 1),
                 row.data());
  }
  if (directions.rows() != 1) {
    trace.says("the solutions have " + number(directions.rows()) +
               " directions, not the one of a ciphertext of a key of this scheme");
    return tell_verdict(trace, found, [](const std::vector<std::uint8_t>&) { return std::string("a point"); });
  }
  const Plaintexts points = points_of(m0, directions);
  const char* names[] = {"point 1 = m0", "point 2 = m0 + t", "point 3 = m0 + 2t"};
  std::vector<std::uint8_t> sum(n, 0);
  for (std::size_t p = 0; p < 3; ++p) {
    trace.vector(names[p], points[p].data());
    for (std::size_t u = 0; u < n; ++u) sum[u] = static_cast<std::uint8_t>((sum[u] + points[p][u]) % 3);
  }
  trace.vector("point 1 + point 2 + point 3", sum.data());
  tell_why_three_points(trace, n);
  const auto point_name = [&](const std::vector<std::uint8_t>& x) {
    return "point " + number(place_of(points, x) + 1);
  };
  if (x0.empty()) {
    trace.says("no two lines of ciphertexts meet in one point: the public key is not one of this scheme");
  } else {
    trace.vector(x0_label, x0.data());
    const std::size_t at = place_of(points, x0);
    if (at < 3)
      trace.says("point " + number(at + 1) + " is x0 (U = 0); the other two are decryption's two candidates (U = " +
                 "+-U0; which of them is Y^d needs the secret key)");
    else
      trace.says("x0 is not on this line: c is no ciphertext of this public key");
  }
  for (std::size_t p = 0; p < 3; ++p)
    tell_whether_it_encrypts_back(trace, forms, "point " + number(p + 1), points[p], c);
  tell_verdict(trace, found, point_name);
}

}  // namespace gf3mq
