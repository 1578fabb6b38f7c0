#include "bench/sized_workspace.h"

#include <cstdlib>
#include <map>
#include <memory>

#include "bench/workspace.h"
#include "field/field_polynomial.h"
#include "field/field_tables.h"
#include "scheme/gf3_source.h"
#include "scheme/keygen.h"

namespace gf3mq::bench {

SizedWorkspace::SizedWorkspace(int n)
    : sizes{n}, pk(make_huge_page_buffer(sizes.public_key_digits())), sk(sizes.elements()) {
  workspace();  // the parent folder and the clean-up at exit
  dir = workspace().dir + "/n" + std::to_string(n);
  std::filesystem::create_directory(dir);
  const Here here(dir);
  const Mat_ZZ_p reduction = build_reduction_table(default_polynomial(n));
  if (!reduction.save("new Xe_mod_Irredfx.txt") || !build_frobenius_table(reduction).save("new X_27i_mod_Irredfx.txt"))
    std::abort();
  SeededGf3Source source(1);
  if (generate_key_set(sizes, pk.get(), sk.data(), source) != 0) std::abort();
}

SizedWorkspace::Here::Here(const std::string& dir) : previous(std::filesystem::current_path()) {
  std::filesystem::current_path(dir);
}

SizedWorkspace::Here::~Here() { std::filesystem::current_path(previous); }

SizedWorkspace& workspace_at(int n) {
  static std::map<int, std::unique_ptr<SizedWorkspace>> made;
  auto& w = made[n];
  if (w == nullptr) w = std::make_unique<SizedWorkspace>(n);
  return *w;
}

}  // namespace gf3mq::bench
