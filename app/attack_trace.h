// gf3mq-attack --trace: the attack told step by step, with nothing but what
// the attack computes from the public key and the ciphertext (no secret
// value appears): the identity behind the relations, how they were found,
// each relation, and for each ciphertext the equations in x they become,
// their line of solutions, and which point is the plaintext.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "learn/trace.h"

namespace gf3mq {

// Of the attack's library, which only gf3mq-attack links (attack/relations.h,
// attack/recover.h).
class PlaintextRecovery;
class PublicForms;
struct Relations;
struct RelationsReport;
using Plaintexts = std::vector<std::vector<std::uint8_t>>;

// U^(3^4) Y = U Y^(3^2) with U = X^3 and Y = X^30, and why its coordinates
// are bilinear in plaintext and ciphertext.
void trace_identity(Trace& trace, std::size_t n);

// The relations as found from the public forms (report: the set of
// indices, the equations, their rank) or, when report is null, as loaded
// from the file loaded_from; then each relation, written as algebra up to
// n = 31 (past it, the first).
void trace_relations(Trace& trace, const Relations& r, const RelationsReport* report, const std::string& loaded_from);

// Below kSmallestDegreeForRelations: why no set of indices serves, so that
// the plaintexts are searched for.
void trace_no_set_serves(Trace& trace, std::size_t n);

// The search for the plaintexts of c: how many were tried, and the verdict.
void trace_search(Trace& trace, const std::uint8_t* c, const Plaintexts& found, std::uint64_t tried);

// The relations at c as equations in x, their rank, their solutions (the
// line {m0, m0 + t, m0 + 2t} and why it sums to 0), the point x0 where X =
// 0, which points are over {1, 2} and encrypt back, and the verdict on
// found, what recovery.recover(c) gave.
void trace_recovery(Trace& trace, PlaintextRecovery& recovery, const Relations& r, const PublicForms& forms,
                    const std::uint8_t* c, const Plaintexts& found);

}  // namespace gf3mq
