// Letters to segments: tag text ("<" to the first ">" outside quotes) or data
// text (up to the next "<"), kept in a circular list behind a head segment.
#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "reader.h"

namespace {

bool IsOneByteSpace(const vop_letter_t& l) {
  if (l.size != 1) return false;
  unsigned char c = l.bytes[0];
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsOneByte(const vop_letter_t& l, char c) {
  return l.size == 1 && l.bytes[0] == static_cast<unsigned char>(c);
}

// Appends a letter to the reader's work buffer, growing it by READER_BLOCK.
uint32_t WorkAppend(vop_reader_t* r, size_t* used, const vop_letter_t& l) {
  if (*used + l.size + 1 > r->work_capacity) {
    size_t cap = r->work_capacity + READER_BLOCK;
    while (*used + l.size + 1 > cap) cap += READER_BLOCK;
    char* grown = static_cast<char*>(realloc(r->work, cap));
    if (grown == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
    r->work = grown;
    r->work_capacity = cap;
  }
  memcpy(r->work + *used, l.bytes, l.size);
  *used += l.size;
  return 0;
}

}  // namespace

vop_segment_t* vopSegmentAlloc() {
  auto* s = static_cast<vop_segment_t*>(malloc(sizeof(vop_segment_t)));
  if (s != nullptr) vopSegmentInit(s);
  return s;
}

void vopSegmentInit(vop_segment_t* segment) {
  segment->next = segment;
  segment->prev = segment;
  segment->type = 0;
  segment->size = 0;
  segment->text = nullptr;
}

void vopSegmentClear(vop_segment_t* segment) {
  free(segment->text);
  segment->text = nullptr;
  segment->size = 0;
  segment->type = 0;
}

void vopSegmentFree(vop_segment_t* segment) {
  if (segment == nullptr) return;
  vopSegmentClear(segment);
  free(segment);
}

uint32_t vopSegmentSet(vop_segment_t* segment, uint32_t type, const char* text, uint32_t size) {
  char* t = static_cast<char*>(realloc(segment->text, size > 0 ? size : 1));
  if (t == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  if (size > 0) {
    memcpy(t, text, size - 1);
    t[size - 1] = '\0';
  } else {
    t[0] = '\0';
  }
  segment->text = t;
  segment->type = type;
  segment->size = size;
  return 0;
}

void vopSegmentJoin(vop_segment_t* head, vop_segment_t* segment) {
  if (head == segment) {
    head->next = head;
    head->prev = head;
    return;
  }
  segment->prev = head->prev;
  segment->next = head;
  head->prev->next = segment;
  head->prev = segment;
}

void vopSegmentRemove(vop_segment_t* segment) {
  segment->prev->next = segment->next;
  segment->next->prev = segment->prev;
  segment->next = segment;
  segment->prev = segment;
}

void vopSegmentListFree(vop_segment_t* head) {
  if (head == nullptr) return;
  vop_segment_t* s = head->next;
  while (s != head) {
    vop_segment_t* next = s->next;
    vopSegmentFree(s);
    s = next;
  }
  vopSegmentFree(head);
}

// Appends bytes [from, to) of the current block to the work buffer.
static uint32_t WorkAppendRun(vop_reader_t* r, size_t* used, uint32_t from, uint32_t to) {
  size_t n = to - from;
  if (*used + n + 1 > r->work_capacity) {
    size_t cap = r->work_capacity + READER_BLOCK;
    while (*used + n + 1 > cap) cap += READER_BLOCK;
    char* grown = static_cast<char*>(realloc(r->work, cap));
    if (grown == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
    r->work = grown;
    r->work_capacity = cap;
  }
  memcpy(r->work + *used, r->data + from, n);
  *used += n;
  return 0;
}

// One-byte letters are taken straight from the block in runs; a byte of
// 0x80 or more goes through vopGetOneLetter, which may swallow markup bytes
// into its sequence.
static uint32_t vopGetSegmentTag(vop_reader_t* r, const vop_letter_t& first, size_t* used) {
  uint32_t rc = WorkAppend(r, used, first);
  if (rc != 0) return rc;
  unsigned char quote = 0;
  vop_letter_t l;
  for (;;) {
    if (!r->eof) {
      uint32_t start = r->position, p = start;
      bool done = false;
      while (p < r->count) {
        unsigned char c = r->data[p];
        if (c >= 0x80) break;
        ++p;
        if (c == '"' || c == '\'') {
          quote = quote == c ? 0 : c;
        } else if (c == '>' && quote == 0) {
          done = true;
          break;
        }
      }
      r->position = p;
      rc = WorkAppendRun(r, used, start, p);
      if (rc != 0 || done) return rc;
    }
    rc = vopGetOneLetter(r, &l);
    if (rc == ERR_END_OF_DATA) return ERR_INVALID;  // unterminated tag
    if (rc != 0) return rc;
    rc = WorkAppend(r, used, l);
    if (rc != 0) return rc;
    if (l.size != 1) continue;
    unsigned char c = l.bytes[0];
    if (c == '"' || c == '\'') {
      quote = quote == c ? 0 : c;
    } else if (c == '>' && quote == 0) {
      return 0;
    }
  }
}

static uint32_t vopGetSegmentData(vop_reader_t* r, const vop_letter_t& first, size_t* used) {
  uint32_t rc = WorkAppend(r, used, first);
  if (rc != 0) return rc;
  vop_letter_t l;
  for (;;) {
    if (!r->eof) {
      uint32_t start = r->position, p = start;
      while (p < r->count && r->data[p] < 0x80 && r->data[p] != '<') ++p;
      r->position = p;
      rc = WorkAppendRun(r, used, start, p);
      if (rc != 0) return rc;
    }
    rc = vopGetOneLetter(r, &l);
    if (rc == ERR_END_OF_DATA) return 0;
    if (rc != 0) return rc;
    if (IsOneByte(l, '<')) {
      r->pending = l;
      return 0;
    }
    rc = WorkAppend(r, used, l);
    if (rc != 0) return rc;
  }
}

uint32_t vopReadSegmentText(vop_reader_t* reader, uint32_t* type_out, size_t* length) {
  vop_letter_t l;
  uint32_t rc;
  if (reader->pending.size != 0) {
    l = reader->pending;
    reader->pending.size = 0;
  } else {
    // Skip white space between segments straight from the block.
    while (!reader->eof && reader->position < reader->count) {
      unsigned char c = reader->data[reader->position];
      if (!(c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r')) break;
      ++reader->position;
    }
    rc = vopGetOneLetter(reader, &l);
    if (rc != 0) return rc;
  }
  while (IsOneByteSpace(l)) {
    rc = vopGetOneLetter(reader, &l);
    if (rc != 0) return rc;
  }
  size_t used = 0;
  uint32_t type = IsOneByte(l, '<') ? SEGMENT_TAG : SEGMENT_DATA;
  rc = type == SEGMENT_TAG ? vopGetSegmentTag(reader, l, &used)
                           : vopGetSegmentData(reader, l, &used);
  if (rc != 0) return rc;
  if (used + 1 > UINT32_MAX) return ERR_OUT_OF_RANGE;
  *type_out = type;
  *length = used;
  return 0;
}

uint32_t vopGetOneSegment(vop_reader_t* reader, vop_segment_t** segment) {
  uint32_t type = 0;
  size_t used = 0;
  uint32_t rc = vopReadSegmentText(reader, &type, &used);
  if (rc != 0) return rc;
  vop_segment_t* s = vopSegmentAlloc();
  if (s == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  rc = vopSegmentSet(s, type, reader->work, static_cast<uint32_t>(used + 1));
  if (rc != 0) {
    vopSegmentFree(s);
    return rc;
  }
  *segment = s;
  return 0;
}

uint32_t vopGetSegmentList(vop_reader_t* reader, vop_segment_t** head) {
  vop_segment_t* h = vopSegmentAlloc();
  if (h == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  h->type = SEGMENT_HEAD;
  // The end of the input or an unterminated tag ends the document and what
  // was read so far is kept. A read error or exhausted memory fails the read
  // instead: a document cut short must not pass for a complete one.
  for (;;) {
    vop_segment_t* s = nullptr;
    uint32_t rc = vopGetOneSegment(reader, &s);
    if (rc == ERR_END_OF_DATA || rc == ERR_INVALID) break;
    if (rc != 0) {
      vopSegmentListFree(h);
      return rc;
    }
    vopSegmentJoin(h, s);
  }
  *head = h;
  return 0;
}

uint32_t vopReadTags(vop_reader_t* reader, vop_tag_builder_t* builder) {
  for (;;) {
    uint32_t type = 0;
    size_t used = 0;
    uint32_t rc = vopReadSegmentText(reader, &type, &used);
    if (rc == ERR_END_OF_DATA || rc == ERR_INVALID) return 0;
    if (rc != 0) return rc;
    vopTagBuilderAdd(builder, type, reader->work, used);
  }
}
