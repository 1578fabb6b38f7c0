#include "bench/attack_system.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#include "attack/public_forms.h"
#include "attack/relations.h"
#include "attack/relations_plan.h"
#include "bench/sized_workspace.h"

namespace gf3mq::bench {

const PackedMatrix& attack_system(int n) {
  static std::map<int, PackedMatrix> made;
  auto it = made.find(n);
  if (it != made.end()) return it->second;
  const PublicForms forms(workspace_at(n).pk.get(), static_cast<std::size_t>(n));
  Relations relations;
  RelationsReport report;
  Plan plan;
  // The set the attack settles on, and its equations as the attack builds them.
  if (!relations_from_public_forms(forms, relations, {}, &report) || !make_plan(forms, report.set_size, plan)) {
    std::fprintf(stderr, "gf3mq-bench: no relations at n = %d: %s\n", n, report.failure.c_str());
    std::abort();
  }
  return made[n] = equations_of(forms, plan, {});
}

}  // namespace gf3mq::bench
