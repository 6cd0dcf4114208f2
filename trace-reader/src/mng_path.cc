#include "mng_path.h"

#include <string.h>

#include "vesk2_trace_format.h"

namespace mptt {
namespace {

constexpr size_t kSuffixLen = sizeof(VESK2_TRACE_FILE_SUFFIX) - 1;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool HasTraceFileForm(const char* path, size_t len) {
  return len > kSuffixLen &&
         memcmp(path + len - kSuffixLen, VESK2_TRACE_FILE_SUFFIX, kSuffixLen) == 0 &&
         IsDigit(path[len - kSuffixLen - 1]);
}

bool ManagementPathFor(const char* path, size_t len, int digits, char* out, int* number) {
  const size_t stemEnd = len - kSuffixLen;  // just past the number
  if (digits < 1 || digits > 2 || stemEnd < static_cast<size_t>(digits)) return false;
  const size_t numStart = stemEnd - digits;
  int value = 0;
  for (size_t i = numStart; i < stemEnd; ++i) {
    if (!IsDigit(path[i])) return false;
    value = value * 10 + (path[i] - '0');
  }
  if (digits == 1 ? (value < 1 || value > 9) : (value < 1 || value > VESK2_MNG_MAX_FILE_NUM)) {
    return false;
  }
  // The directory part keeps its final '/'; a bare name has none.
  const char* slash = nullptr;
  for (size_t i = 0; i < numStart; ++i) {
    if (path[i] == '/') slash = path + i;
  }
  const size_t dirLen = slash ? static_cast<size_t>(slash - path) + 1 : 0;
  char* p = out;
  memcpy(p, path, dirLen);
  p += dirLen;
  memcpy(p, VESK2_MMAP_DIR_NAME "/", sizeof(VESK2_MMAP_DIR_NAME));
  p += sizeof(VESK2_MMAP_DIR_NAME);
  memcpy(p, path + dirLen, numStart - dirLen);
  p += numStart - dirLen;
  memcpy(p, VESK2_MNG_FILE_SUFFIX, sizeof(VESK2_MNG_FILE_SUFFIX));  // with its NUL
  *number = value;
  return true;
}

}  // namespace mptt
