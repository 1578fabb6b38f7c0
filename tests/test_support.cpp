#include "tests/test_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "field/field_tables.h"

namespace gf3mq {

void PrintTo(KernelWidth width, std::ostream* out) { *out << kernel_width_name(width); }

}  // namespace gf3mq

namespace gf3mq::test {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "gf3mq-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  // A test may have taken write permission away; give it back before removal.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& name, const std::string& content) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool file_exists(const std::string& name) { return std::filesystem::exists(name); }

std::vector<std::string> list_dir(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

Mat_ZZ_p mat(int rows, int cols, std::initializer_list<int> values) {
  Mat_ZZ_p m(rows, cols);
  int i = 0;
  for (int x : values) {
    m.set(i / cols, i % cols, static_cast<unsigned char>(x));
    ++i;
  }
  return m;
}

std::string text(const Mat_ZZ_p& m) {
  std::ostringstream out;
  out << m;
  return out.str();
}

std::string text(const Vec_ZZ_p& v) {
  std::ostringstream out;
  out << v;
  return out.str();
}

std::vector<std::uint8_t> random_elements(std::mt19937& rng, std::size_t n) {
  std::uniform_int_distribution<int> element(0, 2);
  std::vector<std::uint8_t> values(n);
  for (auto& v : values) v = static_cast<std::uint8_t>(element(rng));
  return values;
}

Mat_ZZ_p random_matrix(std::mt19937& rng, int rows, int cols) {
  Mat_ZZ_p m(rows, cols);
  const auto values = random_elements(rng, static_cast<std::size_t>(rows) * cols);
  std::copy(values.begin(), values.end(), m.data());
  return m;
}

Mat_ZZ_p random_invertible(std::mt19937& rng, int n) {
  for (;;) {
    Mat_ZZ_p m = random_matrix(rng, n, n);
    if (nonsingular(m) != 0) return m;
  }
}

Vec_ZZ_p random_vector(std::mt19937& rng, int n) {
  Vec_ZZ_p v(n);
  const auto values = random_elements(rng, static_cast<std::size_t>(n));
  std::copy(values.begin(), values.end(), v.data());
  return v;
}

Vec_ZZ_p identity_column(int n, int i) {
  Vec_ZZ_p e(n);
  e.set(i, 1);
  return e;
}

Mat_ZZ_p identity(int n) {
  Mat_ZZ_p m(n, n);
  for (int i = 0; i < n; ++i) m.set(i, i, 1);
  return m;
}

namespace {

struct TablePair {
  Mat_ZZ_p reduction;
  Mat_ZZ_p frobenius;
};

const TablePair& tables_of(const std::string& poly) {
  static std::map<std::string, TablePair> cache;
  auto found = cache.find(poly);
  if (found == cache.end()) {
    Polynomial f;
    FileProblem problem;
    if (!parse_polynomial(poly, f, &problem)) throw std::runtime_error(problem.message());
    Mat_ZZ_p reduction = build_reduction_table(f);
    Mat_ZZ_p frobenius = build_frobenius_table(reduction);
    found = cache.emplace(poly, TablePair{std::move(reduction), std::move(frobenius)}).first;
  }
  return found->second;
}

}  // namespace

const Mat_ZZ_p& reduction_table_of(const std::string& poly) { return tables_of(poly).reduction; }
const Mat_ZZ_p& frobenius_table_of(const std::string& poly) { return tables_of(poly).frobenius; }

void write_tables_here(const std::string& poly) {
  if (!tables_of(poly).reduction.save("new Xe_mod_Irredfx.txt") ||
      !tables_of(poly).frobenius.save("new X_27i_mod_Irredfx.txt"))
    throw std::runtime_error("cannot write tables");
}

void write_tables_of_degree(int n) {
  const Mat_ZZ_p reduction = build_reduction_table(default_polynomial(n));
  if (!reduction.save("new Xe_mod_Irredfx.txt") || !build_frobenius_table(reduction).save("new X_27i_mod_Irredfx.txt"))
    throw std::runtime_error("cannot write tables");
}

FieldElem x_power(int k) {
  FieldElem e;
  e.coef[k] = 1;
  return e;
}

FieldElem random_field_element(std::mt19937& rng) {
  FieldElem e;
  const auto values = random_elements(rng, 257);
  std::copy(values.begin(), values.end(), e.coef);
  return e;
}

FieldElem cube_times(FieldElem y, int times, const Mat_ZZ_p& table) {
  for (int i = 0; i < times; ++i) {
    FieldElem cube;
    gf3mq::field_cube(y, table, cube);
    y = cube;
  }
  return y;
}

FieldElem central_map(const FieldElem& X, const Mat_ZZ_p& table) {
  FieldElem out;
  field_mul(cube_times(X, 3, table), cube_times(X, 1, table), table, out);
  return out;
}

Vec_ZZ_p public_map(const Mat_ZZ_p& mat_A, const Vec_ZZ_p& V1, const Mat_ZZ_p& mat_B, const Vec_ZZ_p& V2,
                    const Vec_ZZ_p& x, const Mat_ZZ_p& table) {
  const Vec_ZZ_p s = mat_B * x + V2;
  FieldElem X;
  std::copy(s.data(), s.data() + 257, X.coef);
  const FieldElem Y = central_map(X, table);
  Vec_ZZ_p y(257);
  std::copy(Y.coef, Y.coef + 257, y.data());
  return mat_A * y + V1;
}

PackedMatrix random_packed(std::mt19937& rng, std::size_t rows, std::size_t cols) {
  PackedMatrix m(rows, cols);
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t c = 0; c < cols; ++c) m.set(r, c, static_cast<unsigned>(rng() % 3));
  return m;
}

std::string text_of(const PackedMatrix& m) {
  std::string text;
  for (std::size_t r = 0; r < m.rows(); ++r) {
    for (std::size_t c = 0; c < m.cols(); ++c) text.push_back(static_cast<char>('0' + m.get(r, c)));
    text.push_back('\n');
  }
  return text;
}

std::uint64_t fnv1a(const std::string& bytes, std::uint64_t hash) {
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string program(const std::string& name) {
  return "env LC_ALL=C '" + std::string(GF3MQ_BIN_DIR) + "/" + name + "'";
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

CommandResult run_command(const std::string& command) {
  char out_name[] = "/tmp/gf3mq-out-XXXXXX";
  char err_name[] = "/tmp/gf3mq-err-XXXXXX";
  const int out_fd = mkstemp(out_name);
  const int err_fd = mkstemp(err_name);
  close(out_fd);
  close(err_fd);
  const std::string full = "( " + command + " ) >'" + out_name + "' 2>'" + err_name + "'";
  const int raw = std::system(full.c_str());
  CommandResult result;
  if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
  result.out = read_file(out_name);
  result.err = read_file(err_name);
  std::remove(out_name);
  std::remove(err_name);
  return result;
}

bool have_strace() { return run_command("command -v strace").status == 0; }

CommandResult with_fault(const std::string& syscalls, const std::string& fault, const std::string& when,
                         const std::string& command, const std::string& path) {
  const std::string only = path.empty() ? "" : "-P '" + path + "' ";
  return run_command(kStrace + "-o /dev/null " + only + "-e trace=" + syscalls + " -e inject=" + syscalls + ":" +
                     fault + ":when=" + when + " " + command);
}

void KernelWidthTest::SetUp() {
  const std::vector<KernelWidth> widths = available_kernel_widths();
  if (std::find(widths.begin(), widths.end(), width()) == widths.end())
    GTEST_SKIP() << "this processor has no " << kernel_width_name(width());
  set_kernel_width(width());
}

void KernelWidthTest::TearDown() { set_kernel_width(available_kernel_widths().back()); }

std::string kernel_width_test_name(const testing::TestParamInfo<KernelWidth>& info) {
  return kernel_width_name(info.param);
}

}  // namespace gf3mq::test
