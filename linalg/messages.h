// What the GF(3) vector and matrix types say on misuse, before they end the
// process (runtime/fatal.h).
#pragma once

namespace gf3mq {

// The message texts. The two shape-mismatch texts of each type end in the
// full-width exclamation mark, written as its GBK bytes A3 A1.
namespace msg {
inline constexpr const char* bad_vector_size = "bad Vector size.";
inline constexpr const char* bad_vector_modulus = "bad Vector modulus.";
inline constexpr const char* vector_index = "Vector index out of range.";
// "error vector add equal due to dim different！"
inline constexpr const char* vector_add = "error vector add equal due to dim different\xA3\xA1";
// "error vector sub equal due to dim different！"
inline constexpr const char* vector_sub = "error vector sub equal due to dim different\xA3\xA1";
inline constexpr const char* bad_matrix_size = "bad Matrix size.";
inline constexpr const char* bad_matrix_resize = "bad Matrix resize.";
inline constexpr const char* matrix_index = "Matrix index out of range.";
// "error matrix add equal due to dim different！"
inline constexpr const char* matrix_add = "error matrix add equal due to dim different\xA3\xA1";
// "error matrix sub equal due to dim different！"
inline constexpr const char* matrix_sub = "error matrix sub equal due to dim different\xA3\xA1";
inline constexpr const char* matrix_vector = "bad multiply Matrix with Vector.";
inline constexpr const char* nonsquare = "nonsquare matrix !";
inline constexpr const char* bad_inverse = "bad Matrix inverse.";
inline constexpr const char* singular = "Matrix can not inverse.";
}  // namespace msg

}  // namespace gf3mq
