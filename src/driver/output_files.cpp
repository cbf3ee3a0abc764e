#include "driver/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "input/diagnostics.h"
#include "run/end_run.h"

namespace vcshrink {
namespace {

int write_all(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int write_in_place(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno;
  int error = write_all(fd, bytes);
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace

int replace_whole_file(const std::string& path, std::string_view bytes) {
  if (path.empty()) return ENOENT;
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return write_in_place(path, bytes);

  // A symbolic link stays a link: the file it points to is replaced.
  std::string target = path;
  if (exists) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  std::string temp = dir + "/.vcshrink-XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return errno;

  // The new file gets the old one's permissions, or those of a newly created file.
  mode_t mode;
  if (exists) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  int error = ::fchmod(fd, mode) != 0 ? errno : 0;
  if (error == 0 && exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Only the owner changes when this fails: the content is what matters.
    }
  }
  if (error == 0) error = write_all(fd, bytes);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temp.c_str());
  return error;
}

void write_output_file(const std::string& path, std::string_view bytes, std::string_view what,
                       const std::vector<KeptFile>& kept) {
  const std::string place = display_name(path) + ": cannot write the " + std::string(what) + ": ";
  struct stat a {};
  if (::stat(path.c_str(), &a) == 0 && S_ISREG(a.st_mode)) {
    for (const KeptFile& k : kept) {
      struct stat b {};
      if (::stat(k.name.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino) {
        end_run(ExitStatus::InputOutput, place + "it is " + k.role);
      }
    }
  }
  const int error = replace_whole_file(path, bytes);
  if (error != 0) end_run(ExitStatus::InputOutput, place + std::strerror(error));
}

}  // namespace vcshrink
