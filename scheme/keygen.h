// Key generation: draws the secret maps, composes the public forms and
// replaces the key set of the working directory as a whole.
//
// Files, all in the element text form: "new Mat_A.txt", "new V1.txt",
// "new Mat_B.txt", "new V2.txt", "new Inv_A.txt", "new Inv_B.txt" (secret,
// mode 0600), "new pk.txt" (public) and "new sk.txt" (secret, mode 0600).
// Tables read: "new Xe_mod_Irredfx.txt" and "new X_27i_mod_Irredfx.txt".
#pragma once

#include "field/sizes.h"
#include "files/digit_file.h"
#include "runtime/progress.h"
#include "scheme/affine_map.h"

// Makes a key set with the operating system's secure generator and loads it
// into pk (17106948 bytes) and sk (257 bytes). The eight files are replaced
// as a whole (key_set.h): a replacement that a killed run left unfinished is
// finished first, and the temporaries killed runs left behind are removed.
// The caller holds the exclusive folder lock (folder_lock.h), or is alone.
//
// mat_B and V2 are drawn again, from the same source, while B_Inv V2 has
// fewer than n/3 non-zero elements (the rule gf3mq-check holds a key set
// to, ambiguity_rule_holds below), at most 100 times; a seeded source gives the same
// key set every time.
//
// Returns 0, or -1 when a pointer is null, a table is missing, damaged or
// does not describe the field, the generator fails or gives no (mat_B, V2)
// that holds the rule in 101 draws, or a file cannot be
// written or replaced. problem (when given) then says what failed and, at
// its end, which key set is in place: as a rule the previous one, intact,
// with no temporary left; if a rename failed and could not be undone, a
// journal that the next program finishes. Also -1 when the new set is in
// place but the folder could not be synced (it may not be on disk), copies
// of the previous files could not be removed (named), or the new set could
// not be read back; problem then says that the new set is in place.
int keygen(unsigned char* pk, unsigned char* sk, gf3mq::FileProblem* problem = nullptr);

namespace gf3mq {

// keygen with the given source of random elements.
int keygen(unsigned char* pk, unsigned char* sk, Gf3Source& source, FileProblem* problem = nullptr);

// The same at any n, with the tables of that n: pk receives n (n + 1)^2
// bytes, sk n; both null when the caller does not want the set back (then
// only its secret key is read back, and "new pk.txt" is opened and its size
// checked, which at 1021 spares reading a gigabyte). The secret maps
// are drawn from source in the same order.
// progress (when set) hears the phases of kKeygenPhases, in that order, on
// one thread at a time.
int generate_key_set(const Sizes& sizes, unsigned char* pk, unsigned char* sk, Gf3Source& source,
                     FileProblem* problem = nullptr, const PhaseProgress& progress = {});

// As keygen with source, but the first (mat_B, V2) drawn is kept whatever
// B_Inv V2 holds: for tests of keys under which plaintexts are ambiguous
// (gf3mq-check fails such a set).
int keygen_skipping_ambiguity_rule(unsigned char* pk, unsigned char* sk, Gf3Source& source,
                                   FileProblem* problem = nullptr);

// k = the number of non-zero elements of B_Inv V2, the sum of the two
// candidates of every ciphertext: both encrypt back with probability 2^-k.
int ambiguity_weight(const Mat_ZZ_p& B_Inv, const Vec_ZZ_p& V2);

// 3 k >= n: the rule every key set is held to (a random key has k near 2n/3).
inline bool ambiguity_rule_holds(int k, int n) { return 3 * k >= n; }

// The phases of key generation as its progress names them.
inline constexpr const char* kKeygenPhases[] = {"reading the tables", "drawing the secret maps",
                                                "composing the public key", "putting the key set in place"};

}  // namespace gf3mq
