// Run states filled by hand as the dialogue, the input file and the procedures leave
// them, and the report they give, split into records.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "records/record_writer.h"
#include "report/report_values.h"
#include "report/report_writer.h"
#include "run/run_state.h"
#include "matrix_fixture.h"

namespace vcshrink::testing {

// G and R as read, then P = G + R and GF = cr G as the covariance preparation forms them.
inline void set_covariances(RunState& s, int nt, double cr, Rows g, Rows r) {
  s.nt = nt;
  s.cr = cr;
  set_lower(s.G, g);
  set_lower(s.R, r);
  for (int j = 1; j <= nt; ++j) {
    for (int i = 1; i <= nt; ++i) {
      s.P(i, j) = s.G(i, j) + s.R(i, j);
      s.GF(i, j) = cr * s.G(i, j);
    }
  }
}

// The title as the input file reader stores it: 79 characters and a blank.
inline std::string stored_title(std::string line) {
  line.resize(79, ' ');
  return line + ' ';
}

// The report's records, without their CR LF, after prepare_report has formed the
// values only the report shows. Fails the test when the text does not end with a
// record terminator or a record holds a stray CR or LF.
inline std::vector<std::string> report_records(RunState& s) {
  prepare_report(s);
  std::string text;
  StringSink sink(text, "\r\n");
  RecordWriter out(sink);
  write_report(s, out);
  std::vector<std::string> records;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    records.push_back(text.substr(start, end - start));
    EXPECT_EQ(records.back().find_first_of("\r\n"), std::string::npos) << "record " << records.size();
  }
  EXPECT_EQ(start, text.size()) << "text after the last record terminator";
  return records;
}

// 0-based index of the first record equal to text, or records.size().
inline std::size_t find_record(const std::vector<std::string>& records, const std::string& text) {
  std::size_t k = 0;
  while (k < records.size() && records[k] != text) ++k;
  return k;
}

// The n records that start `offset` records after the first record equal to heading.
inline std::vector<std::string> block_after(const std::vector<std::string>& records, const std::string& heading,
                                            std::size_t offset, std::size_t n) {
  const std::size_t k = find_record(records, heading);
  if (k + offset + n > records.size()) {
    ADD_FAILURE() << "no " << n << " records " << offset << " after \"" << heading << "\"";
    return {};
  }
  return {records.begin() + static_cast<std::ptrdiff_t>(k + offset),
          records.begin() + static_cast<std::ptrdiff_t>(k + offset + n)};
}

}  // namespace vcshrink::testing
