#include "input/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
  if (f.fd >= 0) {
    if (is_directory(f.fd)) {
      ::close(f.fd);
      f.fd = -1;
      f.rw_error = EISDIR;
      return f;
    }
    f.access = FileAccess::ReadOnly;
    return f;
  }
  f.ro_error = errno;
  f.fd = open_retrying(name.c_str(), O_WRONLY | O_CREAT);
  if (f.fd >= 0) f.access = FileAccess::WriteOnly;
  return f;
}

void InputFile::attach(const OpenedFile& f, const std::string& name) {
  close();
  file_ = ::fdopen(f.fd, f.access == FileAccess::ReadWrite ? "r+" : "r");
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
  // Opened for reading only: the reason is why the read-write attempt failed.
  if (access_ == FileAccess::ReadOnly) fail(rw_error_ != 0 ? rw_error_ : EBADF);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) fail(errno);
  // Only a regular file has space to reserve and a length to cut; a device or a pipe
  // (such as /dev/null) just receives the text.
  const bool regular = S_ISREG(st.st_mode);
  const auto len = static_cast<off_t>(text.size());
  if (regular && len > 0 && ::fallocate(fd_, 0, 0, len) != 0 && errno != EOPNOTSUPP) {
    const int error = errno;
    // A reservation that failed part way may have lengthened the file: the old
    // content stays exactly as it was.
    struct stat now {};
    if (::fstat(fd_, &now) == 0 && now.st_size != st.st_size) {
      if (::ftruncate(fd_, st.st_size) != 0) {
        // Nothing more can be done; the reservation's failure is what is reported.
      }
    }
    fail(error);
  }
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = regular ? ::pwrite(fd_, text.data() + done, text.size() - done, static_cast<off_t>(done))
                              : ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(errno);
    if (n == 0) fail(EIO);
    done += static_cast<std::size_t>(n);
  }
  if (regular && ::ftruncate(fd_, len) != 0) fail(errno);
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
  const OpenedFile in = open_file(s.infile);
  if (in.fd < 0) cannot_open(s.infile, "input file", in.rw_error);
  if (in.access == FileAccess::WriteOnly) {
    ::close(in.fd);
    cannot_open(s.infile, "input file for reading", in.ro_error);
  }
  input.attach(in, s.infile);

  if (s.outfile.empty()) s.outfile = ask_missing_name(screen, keyboard, "output");
  check_name(s.outfile, "report file");
  const OpenedFile out = open_file(s.outfile);
  if (out.fd < 0) cannot_open(s.outfile, "report file", out.rw_error);
  report.attach(out, s.outfile);

  // The report replaces its file's content: written over the input file it would
  // destroy the matrices it reports on.
  struct stat a {
  }, b{};
  if (::fstat(::fileno(input.lines().file()), &a) == 0 && ::fstat(out.fd, &b) == 0 && S_ISREG(a.st_mode) &&
      a.st_dev == b.st_dev && a.st_ino == b.st_ino) {
    end_run(ExitStatus::InputOutput, display_name(s.outfile) + ": cannot use the input file as the report file");
  }
}

}  // namespace vcshrink
