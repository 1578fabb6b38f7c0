// The elimination the attack makes at n, for timing elimination routines
// side by side: a matrix of the shape the attack's equations take for the
// seeded key of workspace_at(n) (its rows and columns as the attack reports
// them, relations.h) and of their rank, columns less the n relations. The
// attack keeps its equations to itself, so the elements are random, with a
// random kernel of dimension n planted: each row f || l has
// l_i = -(f . r_i) for a random n x (columns - n) matrix of rows r_i.
#pragma once

#include "linalg/packed_matrix.h"

namespace gf3mq::bench {

// Made once per process and n (the attack runs once to give the shape).
const PackedMatrix& attack_system(int n);

}  // namespace gf3mq::bench
