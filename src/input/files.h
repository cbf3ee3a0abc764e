// The two files of a run: opening them by the names typed (the input file only for
// reading, the report file created when missing), the input file as a line source, and
// the replacement of a file's whole content, which leaves either the old or the new bytes.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "run/run_state.h"
#include "input/line_source.h"
#include "records/record_writer.h"

namespace vcshrink {

enum class FileAccess : unsigned char { None, ReadWrite, ReadOnly, WriteOnly };

struct OpenedFile {
  int fd = -1;
  FileAccess access = FileAccess::None;
  int rw_error = 0;  // errno of the read-write attempt; 0 when it succeeded
  int ro_error = 0;  // errno of the read-only attempt, when it was made and failed
};

// Opens name read-write, else read-only, else write-only; a missing file is created
// empty (mode 0666 less the umask). A directory is not opened (rw_error EISDIR).
OpenedFile open_file(const std::string& name);

// Opens name for reading only, never creating or writing it (a FIFO or a pipe is then read
// to its end); access None and rw_error set when that fails (EISDIR for a directory).
OpenedFile open_input_file(const std::string& name);

// Makes bytes the whole content of the file at path (created when missing, 0666 less the
// umask): a regular file through a new file in its directory, flushed and renamed over it,
// so it holds the old or the new bytes, never a mix; returns 0 or an errno value.
[[nodiscard]] int replace_file_content(const std::string& path, std::string_view bytes);

// Removes the temporary file of a replacement under way, if there is one. Safe to call
// from a signal handler: a signal that ends the process leaves no such file behind.
void remove_unfinished_replacement() noexcept;

// Points at which tests interrupt or fail a replacement; both null in the program.
struct ReplacementSeams {
  // Stands in for write(2) of the new bytes to the temporary file.
  ssize_t (*write_call)(int fd, const void* bytes, std::size_t n) = nullptr;
  // Called after each step: temporary file made, each write, flush, rename.
  void (*step_done)() = nullptr;
};
ReplacementSeams& replacement_seams();

// The input file, read line by line.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() { close(); }

  // Takes over f (opened readable) as the input file called name; ends the run when
  // no stream can be made for it.
  void attach(const OpenedFile& f, const std::string& name);
  LineSource& lines() { return lines_; }
  // Closes the file; a failed close of a file only read loses nothing.
  void close();

 private:
  std::FILE* file_ = nullptr;
  LineSource lines_;
};

// The report file. Nothing is written to it until replace_content.
class ReportFile {
 public:
  ReportFile() = default;
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;
  ~ReportFile();

  // Takes over f as the report file called name.
  void attach(const OpenedFile& f, const std::string& name);
  // Makes text the whole content of the file, as replace_file_content does for a regular
  // file; a file opened for reading only is refused. Where the directory cannot take a new
  // file, writes in place: reserves the space first, so that a full disk is found before
  // any old byte is overwritten, writes from the start and cuts the file to its length.
  // Anything else (a device, a pipe) just receives the text. Ends the run with a
  // diagnostic when any of that fails.
  void replace_content(std::string_view text);
  // Closes the file; returns 0 or the errno of a failed close. Does nothing when not open.
  int close();
  bool written() const { return written_; }
  const std::string& name() const { return name_; }

 private:
  [[noreturn]] void fail(int error) const;

  int fd_ = -1;
  FileAccess access_ = FileAccess::None;
  int rw_error_ = 0;
  std::string name_;
  bool written_ = false;
};

// Opens the input file, then the report file, by the names in s; a blank name is asked
// for on the console until a non-blank line comes. Ends the run with a diagnostic when a
// file cannot be opened (the input file must exist and be readable), or when the report
// file is the input file or the file the standard input reads.
void open_files(RunState& s, RecordWriter& screen, LineSource& keyboard, InputFile& input, ReportFile& report);

// Asks on the console for a file name until a non-blank line comes; what is "input" or
// "output". Ends the run when the standard input ends first.
std::string ask_missing_name(RecordWriter& screen, LineSource& keyboard, std::string_view what);

}  // namespace vcshrink
