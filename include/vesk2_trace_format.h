/*
 * On-disk format of a shared trace ring: the 64-byte management file and the
 * marks inside the trace files. Writers (the trace library) and readers (the
 * trace file reader, operators' tools) compile against this one description;
 * docs/trace-shared-ring-format.md explains it in prose.
 *
 * Every word of the management file is 32 bits wide in 32- and 64-bit
 * processes alike, stored in the byte order of the writer that created it.
 * Plain C so that any tool can include it.
 */
#ifndef VESK2_TRACE_FORMAT_H
#define VESK2_TRACE_FORMAT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Management record (words 0-7 of the management file) ---- */

/* Management record: what is current and where its data ends. */
typedef struct tagVESK_MANAGEMENT_DATA {
  char szId[4];         /* the four bytes "VESK", never byte-swapped */
  uint32_t ulByteOrder; /* VESK2_MNG_BYTE_ORDER as the writer stored it */
  uint32_t ulFileSize;  /* size of each trace file, VESK2_MNG_MIN/MAX_FILE_SIZE */
  int32_t lFileNum;     /* number of trace files, 1..VESK2_MNG_MAX_FILE_NUM */
  uint32_t ulOffset;    /* offset of the 0x1A end byte in the current file */
  int32_t lCurFile;     /* current file, 1..lFileNum */
  uint32_t ulMode;      /* shared mode bits (VESK2_MODE_*) */
  uint32_t ulLockType;  /* VESK2_MNG_LOCK_LOCKF: writers lock with lockf */
} VESK_MANAGEMENT_DATA;

/* The whole management file: the record, then eight words that are written
 * as zero when the file is created or extended and never afterwards. */
typedef struct tagVESK_MANAGEMENT_FILE {
  VESK_MANAGEMENT_DATA stData;
  uint32_t aulReserved[8];
} VESK_MANAGEMENT_FILE;

#define VESK2_MNG_ID "VESK"
#define VESK2_MNG_ID_LEN 4
#define VESK2_MNG_RECORD_SIZE 32 /* words 0-7 */
#define VESK2_MNG_FILE_SIZE 64   /* the whole management file */
#define VESK2_MNG_WORDS 8        /* words in the record */

/* The byte-order word as a reader of the writer's own byte order sees it
 * (little-endian bytes 00 BF BB EF), and as a reader of the other order does. */
#define VESK2_MNG_BYTE_ORDER 0xEFBBBF00u
#define VESK2_MNG_BYTE_ORDER_SWAPPED 0x00BFBBEFu

#define VESK2_MNG_MIN_FILE_SIZE 4096u
#define VESK2_MNG_MAX_FILE_SIZE 16777216u /* 16 MiB */
#define VESK2_MNG_MAX_FILE_NUM 64
#define VESK2_MNG_LOCK_NONE 0u
#define VESK2_MNG_LOCK_LOCKF 1u
/* ulMode of a record just created, until its creator stores its own. */
#define VESK2_MNG_MODE_UNSET 0xFFFFFFFFu

/* Word indexes, for code that treats the record as 32-bit words. */
enum {
  VESK2_MNG_W_ID = 0,
  VESK2_MNG_W_BYTE_ORDER = 1,
  VESK2_MNG_W_FILE_SIZE = 2,
  VESK2_MNG_W_FILE_NUM = 3,
  VESK2_MNG_W_OFFSET = 4,
  VESK2_MNG_W_CUR_FILE = 5,
  VESK2_MNG_W_MODE = 6,
  VESK2_MNG_W_LOCK_TYPE = 7
};

/* ---- Shared mode bits (the writers' option word, 0..63) ---- */
#define VESK2_MODE_KEEP_LARGER 0x01u  /* joining: keep larger size and count */
#define VESK2_MODE_NO_FILL 0x02u      /* new files sparse, not space-filled */
#define VESK2_MODE_CURRENT_ONLY 0x04u /* at open prepare only the current file */
#define VESK2_MODE_NO_HEADER 0x08u    /* no header block at a file switch */
#define VESK2_MODE_NO_LOCK 0x10u      /* writers take no inter-process lock */
#define VESK2_MODE_NO_PROC_LINE 0x20u /* no process line at open */
#define VESK2_MODE_OPTION_MASK 0x3Fu
#define VESK2_MODE_UNUSED_BITS 0xFFFFFFC0u /* or-ed into a process's own mode */

/* ---- Trace file contents ---- */

/* The end byte, followed by the end-of-data mark, stands right behind the
 * last record of every file. A reader finds it as the first 0x1A at offset 0
 * or directly after CR LF. */
#define VESK2_EOD_BYTE 0x1A
#define VESK2_EOD_MARK "\r\n\r\n\r\n\r\n----------< End of Data >----------\r\n\r\n"
#define VESK2_EOD_MARK_LEN 47
#define VESK2_EOD_TOTAL_LEN 48 /* end byte + mark */

#define VESK2_PROC_LINE_LEN 57     /* "**** " name pid size count option CR LF */
#define VESK2_APP_NAME_LEN 16      /* application name column of the process line */
#define VESK2_SYSTEM_LINE_LEN 141  /* "**** " OS host TZ time CR LF */
#define VESK2_COLUMN_TITLES_LEN 90 /* column line before the LANG text */
#define VESK2_HEADER_RESERVE 317   /* system + column line never exceed this */

/* ---- Names derived from the ring's path prefix P ---- */
#define VESK2_TRACE_FILE_FMT "%s%d.log"    /* P, file number 1..lFileNum */
#define VESK2_MMAP_DIR_FMT "%s/mmap"       /* D: P up to its last '/' */
#define VESK2_MNG_FILE_FMT "%s/mmap/%s.mm" /* D, B: P after its last '/' */
#define VESK2_TRACE_FILE_SUFFIX ".log"
#define VESK2_MNG_FILE_SUFFIX ".mm"
#define VESK2_MMAP_DIR_NAME "mmap"
#define VESK2_PATH_MAX 4096 /* longest prefix or derived name, NUL excluded */

#ifdef __cplusplus
#define VESK2_FORMAT_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define VESK2_FORMAT_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

VESK2_FORMAT_ASSERT(sizeof(VESK_MANAGEMENT_DATA) == VESK2_MNG_RECORD_SIZE, "record is 8 words");
VESK2_FORMAT_ASSERT(sizeof(VESK_MANAGEMENT_FILE) == VESK2_MNG_FILE_SIZE, "file is 64 bytes");
VESK2_FORMAT_ASSERT(offsetof(VESK_MANAGEMENT_DATA, szId) == 0, "szId at 0");
VESK2_FORMAT_ASSERT(offsetof(VESK_MANAGEMENT_DATA, ulByteOrder) == 4, "ulByteOrder at 4");
VESK2_FORMAT_ASSERT(offsetof(VESK_MANAGEMENT_DATA, ulFileSize) == 8, "ulFileSize at 8");
VESK2_FORMAT_ASSERT(offsetof(VESK_MANAGEMENT_DATA, lFileNum) == 12, "lFileNum at 12");
VESK2_FORMAT_ASSERT(offsetof(VESK_MANAGEMENT_DATA, ulOffset) == 16, "ulOffset at 16");
VESK2_FORMAT_ASSERT(offsetof(VESK_MANAGEMENT_DATA, lCurFile) == 20, "lCurFile at 20");
VESK2_FORMAT_ASSERT(offsetof(VESK_MANAGEMENT_DATA, ulMode) == 24, "ulMode at 24");
VESK2_FORMAT_ASSERT(offsetof(VESK_MANAGEMENT_DATA, ulLockType) == 28, "ulLockType at 28");
VESK2_FORMAT_ASSERT(offsetof(VESK_MANAGEMENT_FILE, aulReserved) == 32, "reserved words at 32");
VESK2_FORMAT_ASSERT(sizeof(VESK2_EOD_MARK) - 1 == VESK2_EOD_MARK_LEN, "end-of-data mark length");

#ifdef __cplusplus
}
#endif

#endif /* VESK2_TRACE_FORMAT_H */
