// Runs the built vcshrink executable in a directory with the given standard input,
// and captures its standard output, standard error and exit status.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace vcshrink::testing {

struct ProgramResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when the process did not exit normally
};

inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f << bytes;
}

// A fresh, empty directory below the system's temporary directory; removed on destruction.
class TempDir {
 public:
  TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "vcshrink-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    path_ = templ;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The program to run: VCSHRINK_UNDER_TEST from the environment names another build
// of it (a check that every build writes the same bytes); else the one built here.
inline const char* program_under_test() {
  const char* exe = std::getenv("VCSHRINK_UNDER_TEST");
  return exe != nullptr && *exe != '\0' ? exe : VCSHRINK_EXE;
}

// Runs the program in dir with the command-line arguments args and stdin holding input
// (never a terminal). file_limit > 0 caps the size of any file it writes (a write past
// it fails with EFBIG, SIGXFSZ ignored), so that a write fails also for root.
inline ProgramResult run_with_args(const std::filesystem::path& dir, const std::string& input,
                                   const std::vector<std::string>& args, rlim_t file_limit = 0,
                                   const char* exe = program_under_test()) {
  const auto in = dir / ".stdin", out = dir / ".stdout", err = dir / ".stderr";
  write_file(in, input);
  std::vector<const char*> argv{exe};
  for (const auto& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    int fi = ::open(in.c_str(), O_RDONLY);
    int fo = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int fe = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fi < 0 || fo < 0 || fe < 0) ::_exit(127);
    ::dup2(fi, 0);
    ::dup2(fo, 1);
    ::dup2(fe, 2);
    if (file_limit > 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit lim{file_limit, file_limit};
      if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) ::_exit(127);
    }
    ::execv(exe, const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  ProgramResult r;
  int wstatus = 0;
  if (pid > 0 && ::waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
  r.out = read_file(out);
  r.err = read_file(err);
  std::filesystem::remove(in);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return r;
}

// Runs the program in dir without arguments, stdin holding input.
inline ProgramResult run_program(const std::filesystem::path& dir, const std::string& input,
                                 const char* exe = program_under_test()) {
  return run_with_args(dir, input, {}, 0, exe);
}

#ifdef VCSHRINK_SOURCE_DIR
// The bundled examples of the source tree.
inline const std::filesystem::path examples = std::filesystem::path(VCSHRINK_SOURCE_DIR) / "examples";

// A fresh directory holding the bundled input files.
struct ExampleDir : TempDir {
  ExampleDir() {
    for (const auto& f : std::filesystem::directory_iterator(examples)) {
      if (f.path().extension() == ".dat") std::filesystem::copy(f.path(), *this / f.path().filename().string());
    }
  }
};
#endif

}  // namespace vcshrink::testing
