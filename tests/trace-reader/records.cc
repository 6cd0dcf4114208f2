#include "records.h"

#include <stdio.h>
#include <string.h>

namespace tw::test {
namespace {

int PayloadLength(int writer, int seq, int maxPayload) {
  return 1 + (seq * 7919 + writer * 104729) % maxPayload;
}

char PayloadChar(int writer, int seq, int i) {
  return static_cast<char>('a' + (seq + writer + i) % 26);
}

}  // namespace

std::string MakeRecordText(int writer, int seq, int maxPayload) {
  const int n = PayloadLength(writer, seq, maxPayload);
  std::string text = "w=" + std::to_string(writer) + " n=" + std::to_string(seq) +
                     " len=" + std::to_string(n) + " ";
  for (int i = 0; i < n; ++i) text.push_back(PayloadChar(writer, seq, i));
  return text + "|";
}

std::string MakeRecord(int writer, int seq, int maxPayload) {
  char head[128];
  snprintf(head, sizeof head, "%04d 2026/12/08 01:02:03.%03d     %-16s %08X %08X %-21s ",
           seq % 10000, seq % 1000, "ringtest", 0x1000 + writer, 0xABC, "TEST-RECORD");
  return head + MakeRecordText(writer, seq, maxPayload) + "\r\n";
}

ParseResult ParseRecords(const std::string& bytes, int maxPayload, bool exactColumns) {
  ParseResult r;
  size_t start = 0;
  for (;;) {
    const size_t nl = bytes.find("\r\n", start);
    if (nl == std::string::npos) break;
    const std::string line = bytes.substr(start, nl - start);
    start = nl + 2;
    if (line.compare(0, 5, "**** ") == 0 || line.compare(0, 15, "     yyyy/mm/dd") == 0) {
      ++r.headerLines;
      continue;
    }
    int w = -1, n = -1, len = -1;
    const size_t text = 90;
    // A whole record is exactly what MakeRecord gives for its writer and number.
    bool ok = line.size() > text &&
              sscanf(line.c_str() + text, "w=%d n=%d len=%d ", &w, &n, &len) == 3 && w >= 0 &&
              n >= 0;
    if (ok && exactColumns) {
      ok = line + "\r\n" == MakeRecord(w, n, maxPayload);
    } else if (ok) {
      ok = line.compare(text, std::string::npos, MakeRecordText(w, n, maxPayload)) == 0;
    }
    if (ok) {
      r.records.push_back({w, n});
    } else {
      r.bad.push_back(line);
    }
  }
  r.rest = bytes.substr(start);
  return r;
}

std::map<int, std::vector<int>> ByWriter(const std::vector<ParsedRecord>& records) {
  std::map<int, std::vector<int>> m;
  for (const auto& rec : records) m[rec.writer].push_back(rec.seq);
  return m;
}

}  // namespace tw::test
