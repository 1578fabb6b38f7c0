// Relations saved for reuse with one public key.
//
// The file is text: the line "gf3mq relations 1 n=<n> key=<digest>", where
// digest is the 64-bit FNV-1a (16 hex digits) of the public key's element
// values, then one digit per element: a of relation 0 row by row, ..., a of
// relation n - 1, then b, g (one row per relation) and d.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "attack/relations.h"
#include "files/digit_file.h"

namespace gf3mq {

// FNV-1a over the public key's element values, which names the key in the file.
// A key read in parts: each part's digest starts from the one of the parts
// before it (hash), every part but the last of a multiple of 8 elements.
inline constexpr std::uint64_t kPublicKeyDigestStart = 1469598103934665603ull;
std::uint64_t public_key_digest(const std::uint8_t* pk, std::size_t size, std::uint64_t hash = kPublicKeyDigestStart);

// Writes the file whole or not at all (files/whole_file.h: a temporary
// beside it, synced, renamed into place, the folder synced). A path that
// holds anything but a regular file is refused and left as it is. False
// with problem naming the file otherwise.
bool save_relations(const std::string& file_name, const Relations& r, std::uint64_t key_digest, FileProblem* problem);

// Reads relations for n variables and the key with this digest. False with
// problem naming the file when it is missing or damaged, was made for
// another key, or changed while it was read (it is read, not mapped, so a
// file truncated meanwhile is refused, never a signal); r is then
// unchanged. size_checked, when given, is called once the header and the
// size are found right, before the digits are read: tests change the file
// there.
bool load_relations(const std::string& file_name, std::size_t n, std::uint64_t key_digest, Relations& r,
                    FileProblem* problem, const std::function<void()>& size_checked = {});

}  // namespace gf3mq
