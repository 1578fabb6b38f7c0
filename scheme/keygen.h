// Key generation: draws the secret maps, composes the public forms and
// replaces the key set of the working directory as a whole.
//
// Files, all in the element text form: "new Mat_A.txt", "new V1.txt",
// "new Mat_B.txt", "new V2.txt", "new Inv_A.txt", "new Inv_B.txt" (secret,
// mode 0600), "new pk.txt" (public) and "new sk.txt" (secret, mode 0600).
// Tables read: "new Xe_mod_Irredfx.txt" and "new X_27i_mod_Irredfx.txt".
#pragma once

#include "field/affine_map.h"
#include "linalg/digit_file.h"

// Makes a key set with the operating system's secure generator and loads it
// into pk (17106948 bytes) and sk (257 bytes). Returns 0, or -1 when a
// pointer is null, a table is missing, short or corrupt, the generator
// fails, or a file cannot be written; the previous key set is then intact
// and no temporary file is left. problem (when given) says what failed.
int keygen(unsigned char* pk, unsigned char* sk, gf3mq::FileProblem* problem = nullptr);

// The same with the given source of random elements.
int keygen(unsigned char* pk, unsigned char* sk, gf3mq::Gf3Source& source, gf3mq::FileProblem* problem = nullptr);
