// Text-to-integer conversion with explicit bases and range checks, and small
// text helpers. The length bounds every scan; a number must be followed only
// by white space and the text's terminating NUL.
#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "util_l2.h"

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// -1 for a character that is neither letter nor digit.
int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return -1;
}

struct Scan {
  const char* text;
  size_t length;
  size_t pos;
  bool AtEnd() const { return pos >= length || text[pos] == '\0'; }
  char Peek() const { return text[pos]; }
  void SkipSpace() {
    while (!AtEnd() && IsSpace(text[pos])) ++pos;
  }
};

}  // namespace

// Skips white space and settles the base; with base 0 a "0x" prefix or a
// leading "0" is consumed here.
static uint32_t StrBaseChk_l2(Scan* s, int* base) {
  s->SkipSpace();
  if (*base < 0 || *base > 36) return ERR_INVALID;
  if (*base != 0) return 0;
  *base = 10;
  if (!s->AtEnd() && s->Peek() == '0') {
    if (s->pos + 1 >= s->length) return 0;  // a lone "0" at the end of the length
    char next = s->text[s->pos + 1];
    if (next == 'x' || next == 'X') {
      s->pos += 2;
      *base = 16;
    } else {
      s->pos += 1;
      *base = 8;
    }
  }
  return 0;
}

static uint32_t StrToUint64_l2(Scan* s, int base, uint64_t* value) {
  uint64_t v = 0;
  s->SkipSpace();
  while (!s->AtEnd()) {
    int d = DigitValue(s->Peek());
    if (d < 0) break;
    if (d >= base) {
      *value = v;
      return ERR_INVALID;
    }
    uint64_t b = static_cast<uint64_t>(base);
    if (v > (UINT64_MAX - static_cast<uint64_t>(d)) / b) {
      *value = UINT64_MAX;
      return ERR_OUT_OF_RANGE;
    }
    v = v * b + static_cast<uint64_t>(d);
    ++s->pos;
  }
  *value = v;
  s->SkipSpace();
  // The length only limits the scan: the text itself must end here.
  if (s->text[s->pos] != '\0') return ERR_INVALID;
  return 0;
}

uint32_t StrToUint64_L2(const char* text, size_t length, int base, uint64_t* value) {
  uint64_t v = 0;
  uint32_t rc = ERR_INVALID;
  if (text != nullptr) {
    Scan s{text, length, 0};
    rc = StrBaseChk_l2(&s, &base);
    if (rc == 0) {
      if (base == 10 && !s.AtEnd() && s.Peek() == '+') ++s.pos;
      rc = StrToUint64_l2(&s, base, &v);
    }
  }
  if (value != nullptr) *value = v;
  return rc;
}

uint32_t StrToUint32_L2(const char* text, size_t length, int base, uint32_t* value) {
  uint64_t v = 0;
  uint32_t rc = StrToUint64_L2(text, length, base, &v);
  uint32_t out;
  if (rc == ERR_OUT_OF_RANGE || v > 0xFFFFFFFFu) {
    out = 0xFFFFFFFFu;
    rc = ERR_OUT_OF_RANGE;
  } else {
    out = static_cast<uint32_t>(v);
  }
  if (value != nullptr) *value = out;
  return rc;
}

namespace {

// Signed conversion at the width given by max_positive (2^31-1 or 2^63-1).
uint32_t StrToSigned(const char* text, size_t length, int base, uint64_t max_positive,
                     bool* negative, uint64_t* magnitude) {
  *negative = false;
  *magnitude = 0;
  if (text == nullptr) return ERR_INVALID;
  Scan s{text, length, 0};
  uint32_t rc = StrBaseChk_l2(&s, &base);
  if (rc != 0) return rc;
  if (base == 10 && !s.AtEnd() && (s.Peek() == '+' || s.Peek() == '-')) {
    *negative = s.Peek() == '-';
    ++s.pos;
  }
  uint64_t v = 0;
  rc = StrToUint64_l2(&s, base, &v);
  uint64_t limit = *negative ? max_positive + 1 : max_positive;
  if (rc == ERR_OUT_OF_RANGE || v > limit) {
    *magnitude = limit;
    return ERR_OUT_OF_RANGE;
  }
  *magnitude = v;
  return rc;
}

}  // namespace

uint32_t StrToInt32_L2(const char* text, size_t length, int base, int32_t* value) {
  bool negative;
  uint64_t magnitude;
  uint32_t rc = StrToSigned(text, length, base, INT32_MAX, &negative, &magnitude);
  int64_t v = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  if (value != nullptr) *value = static_cast<int32_t>(v);
  return rc;
}

uint32_t StrToInt64_L2(const char* text, size_t length, int base, int64_t* value) {
  bool negative;
  uint64_t magnitude;
  uint32_t rc = StrToSigned(text, length, base, INT64_MAX, &negative, &magnitude);
  int64_t v;
  if (negative) {
    // 2^63 itself has no positive int64 form; negate in unsigned arithmetic.
    v = static_cast<int64_t>(0 - magnitude);
  } else {
    v = static_cast<int64_t>(magnitude);
  }
  if (value != nullptr) *value = v;
  return rc;
}

int CharIsOctet_L2(int character) { return character >= '0' && character <= '7' ? 1 : 0; }

uint32_t StrDup_L2(const char* text, char** copy) {
  if (text == nullptr || copy == nullptr) return ERR_INVALID;
  char* dup = strdup(text);
  if (dup == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  *copy = dup;
  return 0;
}
