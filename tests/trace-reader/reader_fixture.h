// Common set-up of the reader's tests: a scratch ring directory with
// hand-made management records and trace files, and an owned instance.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "trace-reader/ring_writer.h"
#include "trace-reader/test_util.h"
#include "vesk2_trace_format.h"
#include "vesk2_trace_reader.h"

namespace tw::test {

struct RecordWords {
  uint32_t byteOrder = VESK2_MNG_BYTE_ORDER;
  uint32_t fileSize = 4096;
  uint32_t fileNum = 3;
  uint32_t offset = 0;
  uint32_t curFile = 1;
  uint32_t mode = 0xFFFFFFC0u;
  uint32_t lockType = 1;
};

// Default record words with one word changed.
inline RecordWords With(uint32_t RecordWords::*word, uint32_t value) {
  RecordWords w;
  w.*word = value;
  return w;
}

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty()) << "no scratch directory";
    prefix_ = dir_.path() + "/app";
    mkdir((dir_.path() + "/mmap").c_str(), 0777);
  }
  void TearDown() override {
    if (inst_ != nullptr) {
      ZELKWSYM_MpttClose(inst_);
      ZELKWSYM_MpttCloseManagementFile(inst_);
      EXPECT_EQ(0, ZELKWSYM_MpttDeleteInstance(inst_));
    }
  }

  std::string TracePath(int n) const { return RingTracePath(prefix_, n); }
  std::string MngPath() const { return RingMngPath(prefix_); }

  // The management record, as a writer of either byte order leaves it.
  void WriteRecord(const RecordWords& w, bool swapped = false, const char* id = "VESK") {
    const uint32_t words[7] = {w.byteOrder, w.fileSize, w.fileNum, w.offset,
                               w.curFile,   w.mode,     w.lockType};
    ASSERT_TRUE(WriteRawRecord(MngPath(), id, words, swapped)) << MngPath();
  }

  // A trace file: content, then the end byte and mark, then spaces to size.
  void WriteTrace(int n, const std::string& content, size_t size = 4096) {
    std::string bytes = content;
    bytes.push_back(static_cast<char>(VESK2_EOD_BYTE));
    bytes += VESK2_EOD_MARK;
    if (bytes.size() < size) bytes.resize(size, ' ');
    ASSERT_TRUE(WriteFile(TracePath(n), bytes)) << TracePath(n);
  }

  // Creates the instance for trace file n and opens the management file.
  int OpenMng(int n) {
    inst_ = ZELKWSYM_MpttCreateInstance(TracePath(n).c_str());
    if (inst_ == nullptr) return -1;
    return ZELKWSYM_MpttOpenManagementFile(inst_);
  }
  // ... and starts reading.
  void OpenAll(int n) {
    ASSERT_EQ(0, OpenMng(n)) << "management file of " << TracePath(n);
    ASSERT_EQ(0, ZELKWSYM_MpttOpen(inst_)) << "error " << ZELKWSYM_MpttGetLastError(inst_);
  }
  // Everything readable now, after asking for the data end.
  std::string ReadAvailable() {
    std::string out;
    if (ZELKWSYM_MpttGetCurrentOffset(inst_) < 0) return "<error>";
    char buf[1000];
    long n;
    while ((n = ZELKWSYM_MpttRead(inst_, buf, sizeof buf)) > 0) out.append(buf, n);
    return out;
  }

  ScratchDir dir_;
  std::string prefix_;
  VESK2_MptTrap_t* inst_ = nullptr;
};

}  // namespace tw::test
