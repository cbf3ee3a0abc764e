#include "input/files.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include "run/end_run.h"
#include "input/diagnostics.h"
#include "input/reading.h"

namespace vcshrink {
namespace {

int open_retrying(const char* name, int flags) {
  for (;;) {
    const int fd = ::open(name, flags | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

bool is_directory(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

[[noreturn]] void cannot_open(const std::string& name, std::string_view which, int error) {
  end_run(ExitStatus::InputOutput,
          display_name(name) + ": cannot open the " + std::string(which) + ": " + std::strerror(error));
}

// Writes all of bytes to fd from where it stands (a temporary file, a device, a pipe).
int write_all(int fd, std::string_view bytes, bool use_seams) {
  const ReplacementSeams& seams = replacement_seams();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = use_seams && seams.write_call != nullptr
                          ? seams.write_call(fd, bytes.data() + done, bytes.size() - done)
                          : ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
    if (use_seams && seams.step_done != nullptr) seams.step_done();
  }
  return 0;
}

// Writes bytes over the regular file open on fd from its first byte and cuts it to their
// length. The space is reserved first, so that a full disk is found before any old byte
// is overwritten (where the file system can reserve).
int write_in_place(int fd, std::string_view bytes) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  const auto len = static_cast<off_t>(bytes.size());
  if (len > 0 && ::fallocate(fd, 0, 0, len) != 0 && errno != EOPNOTSUPP) {
    const int error = errno;
    // A reservation that failed part way may have lengthened the file: the old
    // content stays exactly as it was.
    struct stat now {};
    if (::fstat(fd, &now) == 0 && now.st_size != st.st_size) {
      if (::ftruncate(fd, st.st_size) != 0) {
        // Nothing more can be done; the reservation's failure is what is reported.
      }
    }
    return error;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return ::ftruncate(fd, len) == 0 ? 0 : errno;
}

// The file that path names once symbolic links in its last component are followed (the
// link's own directory holds a relative target); path itself when it is no link.
int follow_links(const std::string& path, std::string& target) {
  target = path;
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    if (hops == 40) return ELOOP;
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
    if (n < 0) return errno;
    if (static_cast<std::size_t>(n) >= link.size()) return ENAMETOOLONG;
    link.resize(static_cast<std::size_t>(n));
    if (link.empty()) return ENOENT;
    const std::size_t slash = target.rfind('/');
    target = link.front() == '/' || slash == std::string::npos ? link : target.substr(0, slash + 1) + link;
  }
}

// The temporary file of the replacement under way, for the signal handler: its name is
// complete before armed is set, and both change only while the ending signals are blocked.
constexpr std::size_t TemporaryNameCapacity = PATH_MAX + 32;
char temporary_name[TemporaryNameCapacity];
std::atomic<bool> temporary_armed{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Holds back the signals that end a run (their handler removes the temporary file) while
// the temporary file comes into being or goes away together with its record above.
class EndingSignalsHeld {
 public:
  EndingSignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
    ::sigprocmask(SIG_BLOCK, &set, &saved_);
  }
  ~EndingSignalsHeld() { ::sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  EndingSignalsHeld(const EndingSignalsHeld&) = delete;
  EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

 private:
  sigset_t saved_{};
};

// Six letters from the system's random source (or the process id and a count where it has
// none), so that runs writing into one directory at once never pick the same name.
std::string random_letters() {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char raw[6];
  if (::getrandom(raw, sizeof raw, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof raw)) {
    static unsigned count = 0;
    const unsigned long mix = static_cast<unsigned long>(::getpid()) * 2654435761UL + ++count * 40503UL;
    for (std::size_t i = 0; i < sizeof raw; ++i) raw[i] = static_cast<unsigned char>(mix >> (8 * i));
  }
  std::string out;
  for (const unsigned char c : raw) out.push_back(letters[c % (sizeof letters - 1)]);
  return out;
}

// Why a replacement did not go through a temporary file, when the caller may write in place.
enum class Fallback : unsigned char { None, InPlace };

// The errors by which a directory refuses a new file, and by which a rename refuses a
// file that is a mount point of its own: there, writing in place is what is left.
bool directory_refuses(int error) { return error == EACCES || error == EPERM || error == EROFS; }
bool rename_refuses(int error) { return error == EXDEV || error == EBUSY; }

// Replaces the regular file target (old: its status, or null when it does not exist) by a
// new file in its directory holding bytes. On any failure the temporary file is removed
// and the old file is left as it was; fallback says when writing in place is left.
int replace_through_temporary(const std::string& target, const struct stat* old, std::string_view bytes,
                              Fallback& fallback) {
  fallback = Fallback::None;
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  // A hidden name made from the report's own, short enough for any file system.
  const std::string stem = dir + "." + base.substr(0, 200) + ".";
  if (stem.size() + 7 > TemporaryNameCapacity) return ENAMETOOLONG;

  int fd = -1;
  {
    const EndingSignalsHeld held;
    for (int attempt = 0; fd < 0; ++attempt) {
      const std::string name = stem + random_letters();
      fd = open_retrying(name.c_str(), O_WRONLY | O_CREAT | O_EXCL);
      if (fd >= 0) {
        std::memcpy(temporary_name, name.c_str(), name.size() + 1);
        temporary_armed.store(true);
      } else if (errno != EEXIST || attempt == 100) {
        const int error = errno;
        if (directory_refuses(error)) fallback = Fallback::InPlace;
        return error;
      }
    }
  }
  const ReplacementSeams& seams = replacement_seams();
  if (seams.step_done != nullptr) seams.step_done();

  const auto discard = [&](int error) {
    ::close(fd);
    const EndingSignalsHeld held;
    ::unlink(temporary_name);
    temporary_armed.store(false);
    return error;
  };
  if (old != nullptr) {
    // The new file keeps the old one's owner where it may, and its permission bits.
    if (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) {
      if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
        // Only the superuser may give a file away: the new report is the runner's own.
      }
    }
    if (::fchmod(fd, old->st_mode & 07777) != 0) return discard(errno);
  }
  if (const int error = write_all(fd, bytes, true); error != 0) return discard(error);
  if (::fsync(fd) != 0) return discard(errno);
  if (seams.step_done != nullptr) seams.step_done();
  if (::close(fd) != 0) {
    fd = -1;
    const int error = errno;
    const EndingSignalsHeld held;
    ::unlink(temporary_name);
    temporary_armed.store(false);
    return error;
  }
  {
    const EndingSignalsHeld held;
    if (::rename(temporary_name, target.c_str()) != 0) {
      const int error = errno;
      ::unlink(temporary_name);
      temporary_armed.store(false);
      if (rename_refuses(error)) fallback = Fallback::InPlace;
      return error;
    }
    temporary_armed.store(false);
  }
  if (seams.step_done != nullptr) seams.step_done();
  // The new name is made durable too; a directory that cannot be flushed loses nothing.
  const int dir_fd = open_retrying(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir_fd >= 0) {
    if (::fsync(dir_fd) != 0) {
      // Some file systems do not flush directories; the rename itself has been made.
    }
    ::close(dir_fd);
  }
  return 0;
}

// Replaces the content of the file open for writing on fd (a regular file when st says
// so) that path names.
int replace_open_file(const std::string& path, int fd, const struct stat& st, std::string_view bytes) {
  if (!S_ISREG(st.st_mode)) return write_all(fd, bytes, false);
  std::string target;
  if (const int error = follow_links(path, target); error != 0) return error;
  Fallback fallback = Fallback::None;
  const int error = replace_through_temporary(target, &st, bytes, fallback);
  return fallback == Fallback::InPlace ? write_in_place(fd, bytes) : error;
}

}  // namespace

ReplacementSeams& replacement_seams() {
  static ReplacementSeams seams;
  return seams;
}

void remove_unfinished_replacement() noexcept {
  if (temporary_armed.load()) ::unlink(temporary_name);
}

int replace_file_content(const std::string& path, std::string_view bytes) {
  if (path.empty()) return ENOENT;
  if (path.find('\0') != std::string::npos) return EINVAL;
  // Opened without waiting: a FIFO that no one reads is refused (ENXIO), not waited for.
  const int fd = open_retrying(path.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd < 0 && errno != ENOENT) return errno;
  if (fd < 0) {
    std::string target;
    if (const int error = follow_links(path, target); error != 0) return error;
    Fallback fallback = Fallback::None;
    return replace_through_temporary(target, nullptr, bytes, fallback);
  }
  struct stat st {};
  int error = ::fstat(fd, &st) == 0 ? 0 : errno;
  if (error == 0) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) error = errno;
  }
  if (error == 0) error = replace_open_file(path, fd, st, bytes);
  if (::close(fd) != 0 && error == 0 && !S_ISREG(st.st_mode)) error = errno;
  return error;
}

namespace {

// A file opened for reading: a directory is closed again and refused (EISDIR), since
// it holds no lines; anything else is kept, readable only.
OpenedFile read_only_unless_directory(OpenedFile f) {
  if (is_directory(f.fd)) {
    ::close(f.fd);
    f.fd = -1;
    f.rw_error = EISDIR;
    return f;
  }
  f.access = FileAccess::ReadOnly;
  return f;
}

}  // namespace

OpenedFile open_file(const std::string& name) {
  OpenedFile f;
  f.fd = open_retrying(name.c_str(), O_RDWR | O_CREAT);
  if (f.fd >= 0) {
    f.access = FileAccess::ReadWrite;
    return f;
  }
  f.rw_error = errno;
  f.fd = open_retrying(name.c_str(), O_RDONLY);
  if (f.fd >= 0) return read_only_unless_directory(f);
  f.ro_error = errno;
  f.fd = open_retrying(name.c_str(), O_WRONLY | O_CREAT);
  if (f.fd >= 0) f.access = FileAccess::WriteOnly;
  return f;
}

OpenedFile open_input_file(const std::string& name) {
  OpenedFile f;
  f.fd = open_retrying(name.c_str(), O_RDONLY);
  if (f.fd < 0) {
    f.rw_error = errno;
    return f;
  }
  return read_only_unless_directory(f);
}

void InputFile::attach(const OpenedFile& f, const std::string& name) {
  close();
  file_ = ::fdopen(f.fd, "r");
  if (file_ == nullptr) {
    const int error = errno;
    ::close(f.fd);
    cannot_open(name, "input file", error);
  }
  lines_ = LineSource(file_, display_name(name), LineSource::Kind::File);
}

void InputFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  lines_ = LineSource();
}

ReportFile::~ReportFile() {
  if (fd_ >= 0) ::close(fd_);
}

void ReportFile::attach(const OpenedFile& f, const std::string& name) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = f.fd;
  access_ = f.access;
  rw_error_ = f.rw_error;
  name_ = name;
  written_ = false;
}

void ReportFile::fail(int error) const {
  end_run(ExitStatus::InputOutput, display_name(name_) + ": cannot write the report file: " + std::strerror(error));
}

void ReportFile::replace_content(std::string_view text) {
  if (fd_ < 0) fail(EBADF);
  // Opened for reading only: the reason is why the read-write attempt failed. A report
  // the user has made read-only is not replaced by a new file either.
  if (access_ == FileAccess::ReadOnly) fail(rw_error_ != 0 ? rw_error_ : EBADF);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) fail(errno);
  if (const int error = replace_open_file(name_, fd_, st, text); error != 0) fail(error);
  written_ = true;
}

int ReportFile::close() {
  if (fd_ < 0) return 0;
  const int rc = ::close(fd_);
  fd_ = -1;
  // Linux releases the descriptor also when close fails, even on EINTR: never retry.
  return rc == 0 ? 0 : errno;
}

std::string ask_missing_name(RecordWriter& screen, LineSource& keyboard, std::string_view what) {
  const Template prompt{skip(5), lit("Please type the name of the " + std::string(what) + " file:  -->  ")};
  const std::string unfinished = "the name of the " + std::string(what) + " file was answered";
  std::string name;
  while (name.empty()) {
    screen.write(prompt);
    check_read(keyboard, read_text_line(keyboard, name), unfinished);
  }
  return name;
}

void open_files(RunState& s, RecordWriter& screen, LineSource& keyboard, InputFile& input, ReportFile& report) {
  // A NUL byte would end the name early for the operating system, which would then
  // open a file other than the one typed.
  const auto check_name = [](const std::string& name, std::string_view which) {
    if (name.find('\0') != std::string::npos) {
      end_run(ExitStatus::InputOutput,
              display_name(name) + ": cannot open the " + std::string(which) + ": the name holds a NUL character");
    }
  };

  if (s.infile.empty()) s.infile = ask_missing_name(screen, keyboard, "input");
  check_name(s.infile, "input file");
  // Only read, never created: a mistyped name ends the run here, before the report
  // file is opened (so none is created) and before the first question of the analysis.
  const OpenedFile in = open_input_file(s.infile);
  if (in.fd < 0) cannot_open(s.infile, "input file", in.rw_error);
  input.attach(in, s.infile);

  if (s.outfile.empty()) s.outfile = ask_missing_name(screen, keyboard, "output");
  check_name(s.outfile, "report file");
  const OpenedFile out = open_file(s.outfile);
  if (out.fd < 0) cannot_open(s.outfile, "report file", out.rw_error);
  report.attach(out, s.outfile);

  // The report replaces its file's content: written over the input file, or over the
  // file the answers come from, it would destroy what it reports on. Any kind of file
  // counts (a FIFO, a device); a block device is the same under another node's name too.
  const auto same_file = [](const struct stat& x, const struct stat& y) {
    return (x.st_dev == y.st_dev && x.st_ino == y.st_ino) ||
           (S_ISBLK(x.st_mode) && S_ISBLK(y.st_mode) && x.st_rdev == y.st_rdev);
  };
  struct stat r {};
  if (::fstat(out.fd, &r) != 0) return;
  struct stat x {};
  if (::fstat(::fileno(input.lines().file()), &x) == 0 && same_file(x, r)) {
    end_run(ExitStatus::InputOutput, display_name(s.outfile) + ": cannot use the input file as the report file");
  }
  if (keyboard.file() != nullptr && ::fstat(::fileno(keyboard.file()), &x) == 0 && same_file(x, r)) {
    end_run(ExitStatus::InputOutput,
            display_name(s.outfile) + ": cannot use the file the standard input reads as the report file");
  }
}

}  // namespace vcshrink
