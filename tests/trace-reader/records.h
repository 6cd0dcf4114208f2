// Numbered test records in the trace record layout, and a checker that
// takes a reader's output apart again.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tw::test {

// Record seq of writer w: the trace record columns, with a text that carries
// the writer, the number and a payload whose length and letters follow from
// both, so that any torn or mixed record is recognised.
std::string MakeRecord(int writer, int seq, int maxPayload = 200);
// Just its text column (from column 90, without CR LF).
std::string MakeRecordText(int writer, int seq, int maxPayload = 200);

struct ParsedRecord {
  int writer;
  int seq;
};

struct ParseResult {
  std::vector<ParsedRecord> records;
  int headerLines = 0;
  std::vector<std::string> bad;  // lines that are neither whole records nor header lines
  std::string rest;              // bytes after the last line end
};

// Splits bytes into CR LF lines and checks every one against MakeRecord
// with the same maxPayload; without exactColumns only the text column is
// compared (records written by the trace library carry real times and ids).
ParseResult ParseRecords(const std::string& bytes, int maxPayload = 200, bool exactColumns = true);

// Per writer, the sequence numbers in the order seen.
std::map<int, std::vector<int>> ByWriter(const std::vector<ParsedRecord>& records);

}  // namespace tw::test
