// Reader source: a locked file read in 1,024-byte blocks, or a caller's text
// read in place; bytes are grouped into UTF-8 letters.
#include <stdlib.h>

#include <cstring>

#include "reader.h"
#include "util_l2.h"

namespace {

// Memory texts are handed out in blocks that fit the 32-bit count.
constexpr size_t kMemoryBlock = 0x40000000u;

struct Utf8Row {
  uint32_t length;
  unsigned char mask;
  unsigned char value;
};

const Utf8Row s_stUTF8Checker[] = {
    {1, 0x80, 0x00}, {2, 0xE0, 0xC0}, {3, 0xF0, 0xE0}, {4, 0xF8, 0xF0},
    {5, 0xFC, 0xF8}, {6, 0xFE, 0xFC}, {0, 0x00, 0x00},
};

}  // namespace

void vopReaderInit(vop_reader_t* reader) {
  memset(reader, 0, offsetof(vop_reader_t, buffer));
  reader->mode = READER_CLOSED;
  reader->fd = -1;
  reader->data = nullptr;
  reader->eof = 0;
  reader->position = 0;
  reader->count = 0;
  reader->pending.size = 0;
  reader->memory_left = 0;
  reader->work = nullptr;
  reader->work_capacity = 0;
}

uint32_t vopFileOpen(vop_reader_t* reader, const char* path, uint32_t flags, uint32_t permissions) {
  if (reader == nullptr || path == nullptr || (flags & FILE_OPEN_APPEND)) return ERR_INVALID;
  if (reader->mode != READER_CLOSED) return ERR_IN_USE;
  int fd = -1;
  uint32_t rc = FileOpen_L2(&fd, path, flags, permissions);
  if (rc != 0) return rc;
  reader->mode = READER_FILE;
  reader->fd = fd;
  reader->data = reader->buffer;
  reader->position = 0;
  reader->count = 0;
  reader->eof = 0;
  reader->pending.size = 0;
  return 0;
}

uint32_t vopFileFromData(vop_reader_t* reader, const char* text) {
  if (reader == nullptr || text == nullptr) return ERR_INVALID;
  if (reader->mode != READER_CLOSED) return ERR_IN_USE;
  size_t length = strlen(text);
  size_t block = length < kMemoryBlock ? length : kMemoryBlock;
  reader->mode = READER_MEMORY;
  reader->fd = -1;
  reader->data = reinterpret_cast<const unsigned char*>(text);
  reader->count = static_cast<uint32_t>(block);
  reader->memory_left = length - block;
  reader->position = 0;
  reader->eof = 0;
  reader->pending.size = 0;
  return 0;
}

uint32_t vopFileClose(vop_reader_t* reader) {
  if (reader == nullptr) return ERR_INVALID;
  uint32_t rc = 0;
  if (reader->mode == READER_CLOSED || (reader->mode == READER_FILE && reader->fd < 0)) {
    rc = ERR_BAD_HANDLE;
  } else if (reader->mode == READER_FILE) {
    FileClose_L2(reader->fd);
  }
  free(reader->work);
  reader->work = nullptr;
  reader->work_capacity = 0;
  reader->mode = READER_CLOSED;
  reader->fd = -1;
  return rc;
}

uint32_t vopGetOneByte(vop_reader_t* reader, unsigned char* byte) {
  if (reader->eof) return ERR_END_OF_DATA;
  if (reader->position < reader->count) {
    *byte = reader->data[reader->position++];
    return 0;
  }
  if (reader->mode == READER_MEMORY) {
    if (reader->memory_left > 0) {
      size_t block = reader->memory_left < kMemoryBlock ? reader->memory_left : kMemoryBlock;
      reader->data += reader->count;
      reader->count = static_cast<uint32_t>(block);
      reader->memory_left -= block;
      reader->position = 1;
      *byte = reader->data[0];
      return 0;
    }
    reader->eof = 1;
    return ERR_END_OF_DATA;
  }
  size_t n = READER_BLOCK;
  uint32_t rc = FileRead_L2(reader->fd, reader->buffer, &n);
  if (rc != 0) return rc;
  reader->position = 0;
  reader->count = static_cast<uint32_t>(n);
  if (n == 0) {
    reader->eof = 1;
    return ERR_END_OF_DATA;
  }
  *byte = reader->data[reader->position++];
  return 0;
}

uint32_t vopUTF8bytes(unsigned char lead) {
  for (const Utf8Row* row = s_stUTF8Checker; row->length != 0; ++row) {
    if ((lead & row->mask) == row->value) return row->length;
  }
  return 0;
}

uint32_t vopGetOneLetter(vop_reader_t* reader, vop_letter_t* letter) {
  unsigned char b;
  uint32_t rc = vopGetOneByte(reader, &b);
  if (rc != 0) return rc;
  uint32_t length = vopUTF8bytes(b);
  // Bytes that start no sequence (continuation bytes, 0xFE, 0xFF) still make
  // a letter, so that nothing of the input is lost or misread as markup.
  if (length == 0) length = b >= 0x80 ? 2 : 1;
  if (length > 8) length = 8;
  letter->bytes[0] = b;
  letter->size = 1;
  while (letter->size < length) {
    rc = vopGetOneByte(reader, &letter->bytes[letter->size]);
    if (rc == ERR_END_OF_DATA) break;  // the input ended inside the sequence
    if (rc != 0) return rc;
    ++letter->size;
  }
  return 0;
}
