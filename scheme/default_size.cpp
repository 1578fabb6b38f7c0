// The system's own entry points at n = 257: the fixed-size face of the
// scheme. Each is a thin wrapper of the engine, which works at every n; the
// declarations, with what each promises, stay in the headers of their
// concepts (decrypt.h). The field's face is field/field_elem.cpp.
#include "field/field.h"
#include "field/field_tables.h"
#include "scheme/decrypt.h"
#include "scheme/key_files.h"

using gf3mq::kDefaultSizes;

// SecretMaps at 257.
int decrypt(const unsigned char* sk, const unsigned char* c, std::uint64_t clen, unsigned char* m, std::uint64_t* mlen,
            gf3mq::FileProblem* problem) {
  if (sk == nullptr || c == nullptr || m == nullptr || mlen == nullptr || clen != gf3mq::kDefaultSizes.elements())
    return -1;
  gf3mq::SecretMaps maps(gf3mq::kDefaultSizes);
  if (!maps.load(problem)) return -1;
  maps.decrypt(sk, c, m);
  *mlen = gf3mq::kDefaultSizes.decrypted_bytes();
  return 0;
}

// decryption_candidates with the table's rows as they are (make_reducer's
// choice, as central_map_root): a table too short ends the process when its
// first missing row is read, after Y's length is checked.
int decrypt_vec(const Vec_ZZ_p& c, const gf3mq::ByteList& sk, const Mat_ZZ_p& A_Inv, const Vec_ZZ_p& V1,
                const Mat_ZZ_p& B_Inv, const Vec_ZZ_p& V2, const Mat_ZZ_p& Xi_modIrred, std::vector<Vec_ZZ_p>& out) {
  Vec_ZZ_p corrected(kDefaultSizes.n);
  for (int i = 0; i < kDefaultSizes.n; ++i) corrected.set(i, static_cast<unsigned char>((c[i] + sk.at(i)) % 3));
  const gf3mq::Field field(gf3mq::make_reducer(Xi_modIrred, kDefaultSizes.n));
  auto [m1, m2] = gf3mq::decryption_candidates(field, corrected, A_Inv, V1, B_Inv, V2);
  out.push_back(std::move(m1));
  out.push_back(std::move(m2));
  return 0;
}
