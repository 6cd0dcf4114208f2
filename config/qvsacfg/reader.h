// Configuration document reader: bytes -> letters -> segments -> tag tree ->
// row items, matched against a list of expected elements (forms). The syntax
// is a small XML subset: elements, text, skipped comments and processing
// instructions; attributes are ignored; no entities.
#pragma once

#include <cstddef>
#include <cstdint>

#include "result_codes.h"
#include "vopcfg.h"

// Row kinds.
constexpr uint32_t ROW_NONE = 0;  // ownership taken over; frees nothing
constexpr uint32_t ROW_IDENT = 1;
constexpr uint32_t ROW_INTEGER = 2;
constexpr uint32_t ROW_STRING = 3;
constexpr uint32_t ROW_BOOLEAN = 4;
constexpr uint32_t ROW_IPADDR = 5;
constexpr uint32_t ROW_ENUMDEF = 6;
constexpr uint32_t ROW_ENUMVAL = 7;
constexpr uint32_t ROW_STRUCT = 8;
constexpr uint32_t ROW_VALIABLE = 9;  // free text, created as ROW_STRING

// Source modes.
constexpr uint32_t READER_CLOSED = 0;
constexpr uint32_t READER_FILE = 1;
constexpr uint32_t READER_MEMORY = 2;

constexpr size_t READER_BLOCK = 1024;

// Structures nested deeper than this are skipped: every later stage recurses
// over structures, and a hostile document must not exhaust the stack.
constexpr unsigned READER_MAX_STRUCT_DEPTH = 64;

struct vop_letter_t {
  uint32_t size;  // 1 to 8; 0 = none
  unsigned char bytes[8];
};

struct vop_reader_t {
  uint32_t mode;
  int fd;
  const unsigned char* data;
  unsigned char buffer[READER_BLOCK];
  uint32_t eof;
  uint32_t position;
  uint32_t count;
  vop_letter_t pending;
  size_t memory_left;  // memory source: bytes beyond the current block
  char* work;          // segment text being collected (grows in READER_BLOCK steps)
  size_t work_capacity;
};

constexpr uint32_t SEGMENT_TAG = 1;
constexpr uint32_t SEGMENT_DATA = 2;
constexpr uint32_t SEGMENT_HEAD = 999;

struct vop_segment_t {
  vop_segment_t* next;
  vop_segment_t* prev;
  uint32_t type;
  uint32_t size;  // text bytes including the NUL
  char* text;
};

constexpr uint32_t TAG_ELEMENT = 1;
constexpr uint32_t TAG_TEXT = 2;

struct vop_tag_t {
  vop_tag_t* next;  // next sibling
  vop_tag_t* parent;
  uint32_t type;
  char* text;  // element name or text content
  vop_tag_t* first_child;
  vop_tag_t* last_child;
};

struct vop_limits_t {
  int64_t minimum;
  int64_t maximum;
};

struct vop_enum_def_t {
  vop_enum_def_t* next;
  char* name;
  char* display;  // empty when the element has no text
};

struct vop_form_t {
  vop_form_t* next;
  const char* name;
  uint32_t kind;
  uint64_t max_count;  // 0 = no limit
  uint32_t identifier;
  uint32_t necessity;
  const void* limit;        // vop_limits_t, vop_enum_def_t list or sub-form list by kind
  vop_limits_t own_limits;  // forms built from definitions point limit here
  const void* origin;       // the definition a form was built from, else NULL
};

struct vop_row_item_t;
struct vop_tag_builder_t;

union vop_row_value_t {
  char* text;
  int64_t integer;
  uint32_t flag;
  vop_ipaddr_t ipaddr;
  vop_enum_def_t* enums;
  vop_row_item_t* children;
};

struct vop_row_item_t {
  vop_row_item_t* next;
  const vop_form_t* form;
  uint32_t kind;
  vop_row_value_t value;
};

// Source.
uint32_t vopFileOpen(vop_reader_t* reader, const char* path, uint32_t flags, uint32_t permissions);
uint32_t vopFileFromData(vop_reader_t* reader, const char* text);
uint32_t vopFileClose(vop_reader_t* reader);
void vopReaderInit(vop_reader_t* reader);
uint32_t vopGetOneByte(vop_reader_t* reader, unsigned char* byte);
uint32_t vopGetOneLetter(vop_reader_t* reader, vop_letter_t* letter);
uint32_t vopUTF8bytes(unsigned char lead);

// Segments.
vop_segment_t* vopSegmentAlloc();
void vopSegmentFree(vop_segment_t* segment);
void vopSegmentInit(vop_segment_t* segment);
void vopSegmentClear(vop_segment_t* segment);
uint32_t vopSegmentSet(vop_segment_t* segment, uint32_t type, const char* text, uint32_t size);
void vopSegmentJoin(vop_segment_t* head, vop_segment_t* segment);
void vopSegmentRemove(vop_segment_t* segment);
void vopSegmentListFree(vop_segment_t* head);
uint32_t vopGetOneSegment(vop_reader_t* reader, vop_segment_t** segment);
// Reads the next segment into the reader's work buffer: its type and length.
uint32_t vopReadSegmentText(vop_reader_t* reader, uint32_t* type, size_t* length);
// Reads every segment into the builder; the same end rules as vopGetSegmentList.
uint32_t vopReadTags(vop_reader_t* reader, vop_tag_builder_t* builder);
uint32_t vopGetSegmentList(vop_reader_t* reader, vop_segment_t** head);

// Tags.
vop_tag_t* vopTagAlloc();
void vopTagInit(vop_tag_t* tag);
void vopTagClear(vop_tag_t* tag);
uint32_t vopTagSet(vop_tag_t* tag, uint32_t type, const char* text, size_t length);
uint32_t vopTagJoin(vop_tag_t* parent, vop_tag_t* child);
void vopTagRemove(vop_tag_t* tag);
void vopTagFree(vop_tag_t* tag);
void vopTagListFree(vop_tag_t* first);
const char* vopTagDataSearch(const vop_tag_t* element);
vop_tag_t* vopCreateTags(vop_segment_t* head);

// Builds the tag tree one segment at a time (the reader feeds it directly,
// without keeping a segment list).
struct vop_tag_builder_t {
  vop_tag_t* top_first;
  vop_tag_t* top_last;
  vop_tag_t* current;
};
void vopTagBuilderInit(vop_tag_builder_t* builder);
void vopTagBuilderAdd(vop_tag_builder_t* builder, uint32_t type, const char* text, size_t length);

// Rows.
vop_row_item_t* vopRowItemAlloc();
void vopRowDataInit(vop_row_item_t* row);
void vopRowDataClear(vop_row_item_t* row);
void vopRowItemFree(vop_row_item_t* row);
void vopRowItemListFree(vop_row_item_t* first);
int vopRowItemComp(const vop_row_item_t* a, const vop_row_item_t* b);
int vopRowItemCompStruct(const vop_row_item_t* a, const vop_row_item_t* b);
uint32_t vopRowItemListCheck(const vop_row_item_t* row, const vop_row_item_t* list);
void vopEnumListFree(vop_enum_def_t* list);
// The first filled row read with the form of that name, or null.
vop_row_item_t* vopRowFindByForm(vop_row_item_t* rows, const char* name);
// Takes a row's text over (the row no longer owns it); null for no row.
char* vopRowTakeText(vop_row_item_t* row);

// Sentence creation over the children of an element; depth counts the
// structures entered so far.
uint32_t vopCreateSentence(const vop_form_t* forms, const vop_tag_t* first_child,
                           vop_row_item_t** rows, unsigned depth);

// Reads one document: mode READER_FILE (source is a path) or READER_MEMORY
// (a NUL-terminated text). *rows is left untouched when there is no element.
uint32_t vopFileReadCommon(uint32_t mode, const char* source, const vop_form_t* forms,
                           vop_row_item_t** rows);
