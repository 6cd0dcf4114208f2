// Conversion and checking of value texts.
#include "values.h"

#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "reader.h"
#include "result_codes.h"
#include "util_l2.h"

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool EqualsIgnoreCase(const char* text, const char* upper) {
  size_t n = strlen(upper);
  if (strlen(text) != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

}  // namespace

uint32_t vopDataCheckIdent(const char* text) {
  if (text == nullptr || !(text[0] == '_' || IsAlpha(text[0]))) return ERR_INVALID;
  for (const char* p = text + 1; *p != '\0'; ++p) {
    if (!(*p == '_' || IsAlpha(*p) || IsDigit(*p))) return ERR_INVALID;
  }
  return 0;
}

namespace {

uint32_t CheckLetters(const char* text, bool refuse_markup) {
  if (text == nullptr) return ERR_INVALID;
  size_t n = strlen(text);
  for (size_t i = 0; i < n;) {
    auto lead = static_cast<unsigned char>(text[i]);
    size_t len = vopUTF8bytes(lead);
    if (len == 0) len = lead >= 0x80 ? 2 : 1;
    if (len > 8) len = 8;
    if (i + len > n) return ERR_INVALID;
    if (refuse_markup && len == 1 && lead == '<') return ERR_INVALID;
    i += len;
  }
  return 0;
}

}  // namespace

uint32_t vopDataCheckLetters(const char* text) { return CheckLetters(text, false); }

uint32_t vopDataCheckWritable(const char* text) { return CheckLetters(text, true); }

uint32_t vopDataConvertInteger(const char* text, int64_t* value) {
  if (text == nullptr) return ERR_INVALID;
  int64_t v = 0;
  uint32_t rc = StrToInt64_L2(text, strlen(text), 0, &v);
  if (rc != 0) return rc;
  *value = v;
  return 0;
}

uint32_t vopDataConvertBoolean(const char* text, uint32_t* flag) {
  if (text == nullptr) return ERR_INVALID;
  if (EqualsIgnoreCase(text, "TRUE")) {
    *flag = 1;
  } else if (EqualsIgnoreCase(text, "FALSE")) {
    *flag = 0;
  } else {
    return ERR_INVALID;
  }
  return 0;
}

uint32_t vopDataConvertIPV4(const char* text, size_t* length, uint8_t out[4]) {
  size_t n = *length, i = 0;
  uint8_t groups[4] = {0, 0, 0, 0};
  int read = 0;
  size_t end = 0;
  while (read < 4) {
    unsigned value = 0;
    size_t start = i;
    while (i < n && IsDigit(text[i])) {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      if (value > 255) return ERR_INVALID;
      ++i;
    }
    groups[read++] = static_cast<uint8_t>(value);
    end = i;
    if (i >= n || text[i] == '\0' || text[i] != '.') break;
    if (i == start) return ERR_INVALID;  // a "." where a group should start
    if (read == 4) break;
    ++i;
  }
  if (read != 4) return ERR_INVALID;
  memcpy(out, groups, 4);
  *length = end;
  return 0;
}

uint32_t vopDataConvertIPV6(const char* text, size_t* length, uint8_t out[16]) {
  size_t n = *length, i = 0;
  uint8_t bytes[16] = {0};
  int groups = 0;
  int gap = -1;
  size_t end = 0;
  while (groups < 8) {
    size_t start = i;
    unsigned value = 0;
    while (i < n && HexValue(text[i]) >= 0) {
      if (i - start == 4) break;
      value = value * 16 + static_cast<unsigned>(HexValue(text[i]));
      ++i;
    }
    if (i < n && i - start == 4 && HexValue(text[i]) >= 0) break;  // five digits: not a group
    bool empty = i == start;
    if (i >= n || text[i] == '\0') {
      bytes[groups * 2] = static_cast<uint8_t>(value >> 8);
      bytes[groups * 2 + 1] = static_cast<uint8_t>(value);
      ++groups;
      end = i;
      break;
    }
    char c = text[i];
    if (IsAlpha(c)) break;  // a letter beyond the hexadecimal digits: not a group
    bytes[groups * 2] = static_cast<uint8_t>(value >> 8);
    bytes[groups * 2 + 1] = static_cast<uint8_t>(value);
    ++groups;
    end = i;
    if (c != ':') break;
    if (empty && start != 0) {
      if (gap >= 0) break;  // a second "::"
      gap = groups;
    }
    ++i;
  }
  if (groups <= 2 || (groups < 8 && gap < 0) || (groups == 8 && gap >= 0)) return ERR_INVALID;
  if (gap >= 0) {
    // Groups after the gap move to the end; the bytes between are zero.
    int tail = groups - gap;
    uint8_t moved[16] = {0};
    memcpy(moved, bytes, static_cast<size_t>(gap) * 2);
    memcpy(moved + 16 - tail * 2, bytes + gap * 2, static_cast<size_t>(tail) * 2);
    memcpy(bytes, moved, 16);
  }
  memcpy(out, bytes, 16);
  *length = end;
  return 0;
}

uint32_t vopDataConvertIpaddr(const char* text, vop_ipaddr_t* record) {
  if (text == nullptr || record == nullptr) return ERR_INVALID;
  vop_ipaddr_t r;
  memset(&r, 0, sizeof r);
  if (vopDataCheckIdent(text) == 0) {
    r.form = VOP_IPADDR_HOSTNAME;
    r.hostname = strdup(text);
    if (r.hostname == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
    *record = r;
    return 0;
  }
  size_t len = strlen(text);
  size_t end = len;
  if (vopDataConvertIPV4(text, &end, r.address) == 0 && end == len) {
    r.form = VOP_IPADDR_ADDRESS;
    r.family = 4;
    *record = r;
    return 0;
  }
  memset(r.address, 0, sizeof r.address);
  end = len;
  if (vopDataConvertIPV6(text, &end, r.address) == 0 && end == len) {
    r.form = VOP_IPADDR_ADDRESS;
    r.family = 6;
    *record = r;
    return 0;
  }
  return ERR_INVALID;
}
