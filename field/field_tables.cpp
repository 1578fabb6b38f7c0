#include "field/field_tables.h"

namespace gf3mq {

Mat_ZZ_p make_reduction_table() { return Mat_ZZ_p(kReductionRows, kDegree); }

Mat_ZZ_p make_frobenius_table() { return Mat_ZZ_p(kFrobeniusRows, kDegree); }

bool load_reduction_table(Mat_ZZ_p& table, FileProblem* problem, const char* file_name) {
  if (table.num_rows() != kReductionRows || table.num_cols() != kDegree) table.resize(kReductionRows, kDegree);
  return table.load(file_name, problem);
}

bool load_frobenius_table(Mat_ZZ_p& table, FileProblem* problem, const char* file_name) {
  if (table.num_rows() != kFrobeniusRows || table.num_cols() != kDegree) table.resize(kFrobeniusRows, kDegree);
  return table.load(file_name, problem);
}

}  // namespace gf3mq
