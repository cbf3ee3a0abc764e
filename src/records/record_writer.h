// RecordWriter builds one record at a time from templates and values and hands each
// finished record to its sink: the report text (records ended by CR LF) or the console.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "records/record_template.h"

namespace vcshrink {

// Receives finished records, without terminator.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual void emit(std::string_view record) = 0;
};

// Appends each record and its terminator to a string (the report uses CR LF).
class StringSink final : public RecordSink {
 public:
  explicit StringSink(std::string& out, std::string_view terminator = "\r\n") : out_(out), terminator_(terminator) {}
  void emit(std::string_view record) override {
    out_.append(record);
    out_.append(terminator_);
  }

 private:
  std::string& out_;
  std::string terminator_;
};

class RecordWriter {
 public:
  explicit RecordWriter(RecordSink& sink) : sink_(sink) {}

  // Places text at the current position and advances it.
  void put(std::string_view text);
  // Advances the position by n; the places passed over read as blanks only if
  // something is written after them in the same record.
  void skip(int n);
  // Writes the record under construction (also when empty) and starts a new one.
  void end_record();

  // One statement: starts a fresh record, processes the template with the values
  // (starting again from the top on a new record while values remain), and ends
  // with end_record.
  void write(const Template& t, std::span<const Value> values = {});

 private:
  void put_value(const Value& v, FieldLayout f);
  // Makes room for a field of w places at the current position and moves past it;
  // returns where the field starts.
  char* place(int w);
  // Processes elements; returns false once the values ran out inside a repeated field.
  bool run(const Template& t, std::span<const Value> values, std::size_t& next);

  RecordSink& sink_;
  std::string record_;
  std::size_t pos_ = 0;
};

}  // namespace vcshrink
