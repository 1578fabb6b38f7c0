// gf3mq-study: how the costs grow with n. Each size is measured in a child
// process of its own (its peak memory is the child's), in a temporary
// folder; the results go to a CSV, a log-log plot and a Markdown table.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/program.h"
#include "bench/study_measure.h"
#include "bench/study_report.h"
#include "bench/workspace.h"
#include "field/sizes.h"
#include "files/posix_io.h"
#include "files/temp_file.h"
#include "files/whole_file.h"

namespace {

constexpr const char* kName = "gf3mq-study";

constexpr const char* kUsage =
    "Usage: gf3mq-study [-C DIR] [--sizes LIST] [--max-seconds S] [--output DIR] [--no-plot]\n"
    "\n"
    "Times, at each size n, key generation (a whole key set with the default\n"
    "tables of n, as gf3mq-tables --degree n writes them, from a seeded source),\n"
    "one encryption, a batch of 64 with the key prepared, one decryption with the\n"
    "secret maps loaded, and each phase of the attack: its equations, their\n"
    "elimination, the relations, and the recovery of one plaintext with them\n"
    "(below n = 9 the plaintext is searched for among all 2^n instead; the CSV\n"
    "says so). Every quantity runs once, then again while the size's budget\n"
    "lasts (7 runs at most); the best run is kept. Each size runs in a process\n"
    "of its own, in a temporary folder (on /dev/shm where there is one, or under\n"
    "GF3MQ_BENCH_DIR), whose peak memory is reported.\n"
    "\n"
    "  --sizes LIST     odd sizes from 5 to 1021, comma-separated\n"
    "                   (default 7,15,31,63,127,257,509)\n"
    "  --max-seconds S  budget of each size in seconds (default 600 divided by\n"
    "                   the number of sizes); a single run is never cut short\n"
    "  --output DIR     the folder for the results (default study)\n"
    "  --no-plot        write the CSV and the table only, without gnuplot\n"
    "  -C DIR           work in the folder DIR\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "Writes DIR/study.csv with the columns\n"
    "  n,keygen_s,encrypt_s,encrypt64_s,decrypt_s,attack_equations_s,\n"
    "  attack_elimination_s,attack_relations_s,attack_recovery_s,\n"
    "  attack_by_search,peak_memory_mb,attack_s,exhaustive_search_s\n"
    "(seconds of the best run; empty where there is no such phase;\n"
    "attack_by_search is 1 where attack_recovery_s is the exhaustive search;\n"
    "peak_memory_mb is the size's process's peak resident memory in MiB;\n"
    "attack_s is the attack's phases summed, or its search; exhaustive_search_s\n"
    "is 2^n times encrypt_s), then DIR/study.gp and, with gnuplot, DIR/study.svg\n"
    "and DIR/study.png, on log-log axes: the attack against exhaustive search,\n"
    "each quantity with its exponent fitted by least squares over its three\n"
    "largest sizes (and its exponent for large n), and the peak memory. Each\n"
    "file is written whole beside its name and renamed over it, never through a\n"
    "link; gnuplot gets the script and the data in memory, not through\n"
    "DIR/study.gp. A warning says when group or others may write DIR. The table\n"
    "goes to standard output; a progress line to standard error when it is a\n"
    "terminal.\n"
    "\n"
    "Exit status: 0 when every size was measured and plotted; 1 when a size\n"
    "failed, a file could not be written or gnuplot failed or is missing; 2 for\n"
    "a usage error.\n";

struct Options {
  std::vector<int> sizes = {7, 15, 31, 63, 127, 257, 509};
  double max_seconds = 0;  // 0: the default share of ten minutes
  std::string output = "study";
  bool plot = true;
};

bool parse_sizes(const std::string& text, std::vector<int>& sizes) {
  sizes.clear();
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    const bool digits = !item.empty() && item.size() <= 4 && item.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || !gf3mq::degree_exists(std::stoi(item))) return false;
    if (std::find(sizes.begin(), sizes.end(), std::stoi(item)) != sizes.end()) return false;  // each size once
    sizes.push_back(std::stoi(item));
  }
  return !sizes.empty() && text.back() != ',';
}

bool parse_seconds(const std::string& text, double& seconds) {
  char* end = nullptr;
  seconds = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && seconds > 0 && seconds < 1e7;
}

// Sets problem and gives false: return failure(problem, "...").
bool failure(std::string& problem, const std::string& what) {
  problem = what;
  return false;
}

// "gf3mq-study: message" on standard error; false.
bool refuse(const std::string& message) {
  gf3mq::program::fail(kName, message);
  return false;
}

// A line that rewrites itself on a terminal; nothing elsewhere.
void show(const std::string& text) {
  if (isatty(STDERR_FILENO) == 0) return;
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  std::fflush(stderr);
}

// A signal that ends the study is passed on to the measuring process, whose
// folder is removed before the study ends by it: a key of 1021 takes a
// gigabyte of tmpfs.
volatile std::sig_atomic_t g_ending_signal = 0;
volatile pid_t g_measuring = 0;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void pass_on(int signal) {
  g_ending_signal = signal;
  if (g_measuring > 0) kill(g_measuring, signal);
}

void catch_ending_signals(bool caught) {
  struct sigaction action {};
  action.sa_handler = caught ? pass_on : SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kEndingSignals) sigaction(signal, &action, nullptr);
}

// After the clean-up: ends the study as the signal would have.
void end_if_signalled() {
  if (g_ending_signal == 0) return;
  catch_ending_signals(false);
  raise(g_ending_signal);
}

// The child: measures n in a fresh folder and writes the point to `out`.
[[noreturn]] void measure_in_child(int n, double budget, const std::string& where, int out) {
  std::string problem;
  gf3mq::study::Point point;
  std::error_code error;
  std::filesystem::current_path(where, error);
  bool ok = !error;
  if (!ok) problem = "cannot enter " + where + ": " + error.message();
  const std::string size = "n = " + std::to_string(n);
  ok = ok && gf3mq::study::measure(
                 n, budget, [&](const std::string& what) { show(std::string(kName) + ": " + size + ": " + what); },
                 point, problem);
  const std::string line = ok ? "ok " + gf3mq::study::to_line(point) + "\n" : "failed " + problem + "\n";
  const bool written = write(out, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  _exit(written ? 0 : 1);
}

// Runs the child of n and reads its point; its peak memory from wait4.
bool measure_size(int n, double budget, gf3mq::study::Point& point, std::string& problem) {
  std::string where = (gf3mq::bench::scratch_parent() / "gf3mq-study-XXXXXX").string();
  if (mkdtemp(where.data()) == nullptr)
    return failure(problem, "cannot make a temporary folder: " + std::string(std::strerror(errno)));
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return failure(problem, "cannot make a pipe: " + std::string(std::strerror(errno)));
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    catch_ending_signals(false);
    close(pipe_ends[0]);
    measure_in_child(n, budget, where, pipe_ends[1]);
  }
  g_measuring = child;
  if (g_ending_signal != 0 && child > 0) kill(child, g_ending_signal);  // came before the child was known
  close(pipe_ends[1]);
  std::string reply;
  char buffer[512];
  for (ssize_t got; (got = read(pipe_ends[0], buffer, sizeof buffer)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    reply.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipe_ends[0]);
  int status = 0;
  struct rusage usage {};
  pid_t ended = -1;
  while (child > 0 && (ended = wait4(child, &status, 0, &usage)) < 0 && errno == EINTR) {
  }
  const bool waited = child > 0 && ended == child;
  g_measuring = 0;
  std::filesystem::remove_all(where);
  end_if_signalled();
  if (child < 0) return failure(problem, "cannot start a process: " + std::string(std::strerror(errno)));
  if (reply.rfind("failed ", 0) == 0) return failure(problem, reply.substr(7, reply.size() - 8));
  if (!waited || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || reply.rfind("ok ", 0) != 0 ||
      !gf3mq::study::from_line(reply.substr(3), point))
    return failure(problem, WIFSIGNALED(status)
                                ? "the measuring process died of " + std::string(strsignal(WTERMSIG(status)))
                                : "the measuring process ended without results");
  point.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024;  // kilobytes
  return true;
}

}  // namespace

namespace {

namespace study = gf3mq::study;

// text at path through the one whole-file path: an exclusive temporary
// beside it, renamed over it; never through a link, never opening a FIFO.
bool write_text(const std::string& path, const std::string& text) {
  gf3mq::FileProblem problem;
  const auto write = [&](int fd) { return gf3mq::write_all(fd, text.data(), text.size()); };
  return gf3mq::write_whole_file(path, 0644, gf3mq::Placement::replace, write, &problem) || refuse(problem.message());
}

// A file in memory holding text, read from its start; -1 (errno set) when
// it cannot be made. Only the processes given its descriptor reach it.
int memory_file(const char* name, const std::string& text) {
  const int fd = memfd_create(name, MFD_CLOEXEC);
  if (fd >= 0 && gf3mq::write_all(fd, text.data(), text.size()) && lseek(fd, 0, SEEK_SET) == 0) return fd;
  const int error = errno;
  if (fd >= 0) close(fd);
  errno = error;
  return -1;
}

// The name under which a process opens the descriptor fd it inherited.
std::string descriptor_name(int fd) { return "/dev/fd/" + std::to_string(fd); }

// gnuplot reading its script from the descriptor script, the descriptors
// of `passed` open in it; its status, 127 when it cannot run.
int run_gnuplot(int script, const std::vector<int>& passed) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    // Its standard output goes nowhere: a plot it could not put in its file never reaches the table.
    const int nowhere = open("/dev/null", O_WRONLY);
    if (nowhere < 0 || dup2(script, STDIN_FILENO) < 0 || dup2(nowhere, STDOUT_FILENO) < 0) _exit(126);
    for (int fd : passed)
      if (fcntl(fd, F_SETFD, 0) != 0) _exit(126);
    execlp("gnuplot", "gnuplot", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  pid_t ended = -1;
  while (child > 0 && (ended = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  if (child < 0 || ended != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// gnuplot draws into temporaries beside study.svg and study.png, which are
// then put in place as every file is; it opens no name in dir, and its
// script and data are files in memory that it alone is given.
bool plot(const std::filesystem::path& dir, const std::vector<study::Point>& points, const std::string& csv) {
  const std::string svg = (dir / "study.svg").string(), png = (dir / "study.png").string();
  gf3mq::FileProblem problem;
  gf3mq::TempFile svg_temp, png_temp;
  if (!gf3mq::path_free_or_regular(svg, &problem) || !gf3mq::path_free_or_regular(png, &problem) ||
      !svg_temp.create_in(dir.string(), svg, 0644, &problem) || !png_temp.create_in(dir.string(), png, 0644, &problem))
    return refuse(problem.message());
  const int data = memory_file("study.csv", csv);
  const int script =
      data < 0
          ? -1
          : memory_file("study.gp", study::gnuplot_script(points, descriptor_name(data), descriptor_name(svg_temp.fd()),
                                                          descriptor_name(png_temp.fd())));
  const int error = errno;
  const int plotted = script < 0 ? -2 : run_gnuplot(script, {data, svg_temp.fd(), png_temp.fd()});
  for (int fd : {data, script})
    if (fd >= 0) close(fd);
  if (plotted == -2) return refuse("cannot hand gnuplot its script: " + gf3mq::error_text(error));
  if (plotted == 127)
    return refuse("gnuplot is not installed (apt-get install gnuplot-nox), so there is no plot; " +
                  (dir / "study.csv").string() + " is written");
  if (plotted != 0) return refuse("gnuplot failed on " + (dir / "study.gp").string());
  for (auto [temp, path] : {std::pair{&svg_temp, svg}, std::pair{&png_temp, png}}) {
    struct stat info {};
    if (fstat(temp->fd(), &info) != 0 || info.st_size == 0) return refuse("gnuplot wrote nothing for " + path);
    if (!gf3mq::finish_whole_file(*temp, path, gf3mq::Placement::replace, &problem)) return refuse(problem.message());
  }
  return true;
}

bool parse_options(int argc, char** argv, Options& options, int& status) {
  std::string sizes, seconds;
  bool no_plot = false;
  gf3mq::program::CommandLine command_line(kName, kUsage);
  command_line.option_with_value("--sizes", sizes);
  command_line.option_with_value("--max-seconds", seconds);
  command_line.option_with_value("--output", options.output);
  command_line.flag("--no-plot", no_plot);
  status = 2;
  if (!command_line.parse(argc, argv, 0)) {
    status = command_line.exit_status();
    return false;
  }
  options.plot = !no_plot;
  if (!sizes.empty() && !parse_sizes(sizes, options.sizes))
    return refuse("--sizes " + sizes + ": a list of different odd sizes from 5 to 1021, as 7,15,31");
  if (!seconds.empty() && !parse_seconds(seconds, options.max_seconds))
    return refuse("--max-seconds " + seconds + ": a positive number of seconds");
  if (options.output.empty()) return refuse("--output: the folder's name is empty");
  if (options.max_seconds == 0) options.max_seconds = 600.0 / static_cast<double>(options.sizes.size());
  return true;
}

bool write_results(const Options& options, const std::vector<study::Point>& points) {
  const std::filesystem::path dir = options.output;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) return refuse("cannot make the folder " + dir.string() + ": " + error.message());
  gf3mq::program::warn_if_folder_open(kName, dir.string(), "the study's files");
  const std::string csv = study::csv_text(points);
  if (!write_text((dir / "study.csv").string(), csv) ||
      !write_text((dir / "study.gp").string(), study::gnuplot_script(points, "study.csv", "study.svg", "study.png")))
    return false;
  return !options.plot || plot(dir, points, csv);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = 0;
  if (!parse_options(argc, argv, options, status)) return status;
  catch_ending_signals(true);
  std::vector<gf3mq::study::Point> points;
  for (std::size_t i = 0; i < options.sizes.size(); ++i) {
    const int n = options.sizes[i];
    show(std::string(kName) + ": n = " + std::to_string(n) + " (" + std::to_string(i + 1) + " of " +
         std::to_string(options.sizes.size()) + ")");
    gf3mq::study::Point point;
    std::string problem;
    if (!measure_size(n, options.max_seconds, point, problem)) {
      show("");
      return gf3mq::program::fail(kName, "n = " + std::to_string(n) + ": " + problem);
    }
    points.push_back(point);
  }
  show("");
  // Past the measurements nothing is left to clean up: a signal ends the
  // study as it comes, and one that came meanwhile ends it now.
  catch_ending_signals(false);
  end_if_signalled();
  const bool written = write_results(options, points);
  std::cout << gf3mq::study::markdown_table(points);
  return gf3mq::program::finish_output(kName) && written ? 0 : 1;
}
