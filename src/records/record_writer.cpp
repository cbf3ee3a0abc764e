#include "records/record_writer.h"

#include <algorithm>
#include <string>

namespace vcshrink {

void RecordWriter::put(std::string_view text) {
  if (pos_ > record_.size()) record_.resize(pos_, ' ');
  record_.replace(pos_, std::min(text.size(), record_.size() - pos_), text);
  pos_ += text.size();
}

void RecordWriter::skip(int n) {
  if (n > 0) pos_ += static_cast<std::size_t>(n);
}

void RecordWriter::end_record() {
  sink_.emit(record_);
  record_.clear();
  pos_ = 0;
}

char* RecordWriter::place(int w) {
  const std::size_t n = w > 0 ? static_cast<std::size_t>(w) : 0;
  if (record_.size() < pos_ + n) record_.resize(pos_ + n, ' ');
  char* const at = record_.data() + pos_;
  pos_ += n;
  return at;
}

void RecordWriter::put_value(const Value& v, FieldLayout f) {
  // Each field kind shows its own kind of value; any other value shows as asterisks.
  // The field is rendered straight into the record.
  const double* real = std::get_if<double>(&v);
  const std::int64_t* whole = std::get_if<std::int64_t>(&v);
  const std::string_view* words = std::get_if<std::string_view>(&v);
  if (f.kind == FieldKind::Fixed && real != nullptr) {
    put_fixed(place(f.width), *real, f.width, f.decimals);
  } else if (f.kind == FieldKind::Integer && whole != nullptr) {
    put_integer(place(f.width), *whole, f.width);
  } else if (f.kind == FieldKind::Text && words != nullptr) {
    put_text(place(f.width), *words, f.width);
  } else {
    char* const at = place(f.width);
    std::fill(at, record_.data() + pos_, '*');
  }
}

bool RecordWriter::run(const Template& t, std::span<const Value> values, std::size_t& next) {
  for (const Element& e : t) {
    switch (e.kind) {
      case Element::Kind::Literal:
        put(e.text);
        break;
      case Element::Kind::Skip:
        skip(e.count);
        break;
      case Element::Kind::Break:
        end_record();
        break;
      case Element::Kind::Group:
        for (int n = 0; n < e.count; ++n) {
          if (!run(e.body, values, next)) return false;
        }
        break;
      case Element::Kind::Field:
      case Element::Kind::Repeat:
        for (int n = 0; n < e.count; ++n) {
          // A field with no value left completes the statement.
          if (next >= values.size()) return false;
          put_value(values[next++], e.field);
        }
        break;
    }
  }
  return true;
}

void RecordWriter::write(const Template& t, std::span<const Value> values) {
  record_.clear();
  pos_ = 0;
  std::size_t next = 0;
  for (;;) {
    const std::size_t before = next;
    if (!run(t, values, next)) break;  // the values ran out at a field
    // The template has ended. Values that remain go on from its start on a new
    // record; a pass that consumed none (a template without fields) cannot use them.
    if (next >= values.size() || next == before) break;
    end_record();
  }
  end_record();
}

}  // namespace vcshrink
