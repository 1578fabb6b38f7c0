// The elimination the attack makes at n, for timing elimination routines
// side by side: the attack's own equations in a_S (relations_plan.h) for
// the seeded key of workspace_at(n), all of them (the attack itself reduces
// only the rows their rank needs), of rank columns less the n relations.
#pragma once

#include "linalg/packed_matrix.h"

namespace gf3mq::bench {

// Made once per process and n (the attack runs once to give the shape).
const PackedMatrix& attack_system(int n);

}  // namespace gf3mq::bench
