/*
 * Trace file reader (libvesk2ZELKWLIBtrap, libvesk2ZELKWLIBtrap64): reads one
 * file of a shared trace ring while its writers go on, up to the end of the
 * data the writers have finished. Both files are mapped read-only; the
 * management file's lockf lock is held only while six words are read.
 *
 * Calling order: CreateInstance, OpenManagementFile, Open, then any of
 * GetCurrentOffset / Read / GetChar / GetLine / Seek / Tell, then Close,
 * CloseManagementFile, DeleteInstance. One instance serves one thread at a time.
 */
#ifndef VESK2_TRACE_READER_H
#define VESK2_TRACE_READER_H

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque reader instance, owned by the caller from create to delete. */
typedef struct VESK2_MptTrap VESK2_MptTrap_t;

/* Error codes, returned by the calls that return codes and kept for
 * ZELKWSYM_MpttGetLastError. */
#define VESK2_MPTT_OK 0
#define VESK2_MPTT_E_INVALID 1    /* null instance/buffer, bad value or origin */
#define VESK2_MPTT_E_OPEN 2       /* a file could not be opened (not absence) */
#define VESK2_MPTT_E_CLOSE 3      /* closing a descriptor failed */
#define VESK2_MPTT_E_MAP 7        /* a mapping failed */
#define VESK2_MPTT_E_NO_MEMORY 9  /* out of memory while creating */
#define VESK2_MPTT_E_STATE 11     /* wrong calling order */
#define VESK2_MPTT_E_NOT_FOUND 13 /* file not found */
#define VESK2_MPTT_E_SEEK 14      /* seek target outside the mapped file */
#define VESK2_MPTT_E_PATH 17      /* path is not of the form <name><N>.log */
#define VESK2_MPTT_E_STAT 20      /* the trace file's status could not be read */
#define VESK2_MPTT_E_LOCK 22      /* the management file could not be (un)locked */
#define VESK2_MPTT_E_UNMAP 23     /* unmapping failed */
#define VESK2_MPTT_E_RECORD 29    /* the management record is not valid */

/* Seek origins. */
#define VESK2_MPTT_SEEK_SET 0
#define VESK2_MPTT_SEEK_CUR 1
#define VESK2_MPTT_SEEK_END 2

/* Version banner: "$Version: ... $". */
extern const char ZELKWSYM_version_string[];

/* Creates an instance for the trace file path (copied). Returns it, or null
 * with the library error 1 (null or overlong path) or 9 (no memory). */
VESK2_MptTrap_t* ZELKWSYM_MpttCreateInstance(const char* tracePath);

/* Closes whatever is open and frees the instance. Returns 0 (also for null)
 * or the close/unmap failure, in which case the instance is kept. */
int ZELKWSYM_MpttDeleteInstance(VESK2_MptTrap_t* inst);

/* Derives the management path from the trace path (first call only), opens
 * and maps the management file, maps the trace file if it can, and resets the
 * end of data to 0. Returns 0 or an error code (1, 2, 7, 11, 13, 17). */
int ZELKWSYM_MpttOpenManagementFile(VESK2_MptTrap_t* inst);

/* Unmaps and closes the management file and the trace file. Not while open.
 * Returns 0 or an error code (1, 3, 11, 23). */
int ZELKWSYM_MpttCloseManagementFile(VESK2_MptTrap_t* inst);

/* Starts reading at offset 0; needs the management file open. Returns 0 or
 * an error code (1, 2, 7, 11, 13, 20). */
int ZELKWSYM_MpttOpen(VESK2_MptTrap_t* inst);

/* Ends reading; the trace mapping is kept while the management file is open.
 * Returns 0 or an error code (1, 3, 11, 23). */
int ZELKWSYM_MpttClose(VESK2_MptTrap_t* inst);

/* Asks the management record (under its lock) how far the writers have got
 * and returns the end of valid data in this file, which also bounds the
 * reads. Returns -1 on error (see ZELKWSYM_MpttGetLastError). */
long ZELKWSYM_MpttGetCurrentOffset(VESK2_MptTrap_t* inst);

/* Copies up to length bytes from the read position into buffer and advances.
 * Returns the count; 0 at the end of data or on error. */
long ZELKWSYM_MpttRead(VESK2_MptTrap_t* inst, void* buffer, long length);

/* Returns the next byte (0..255) and advances, or -1 at the end or on error. */
int ZELKWSYM_MpttGetChar(VESK2_MptTrap_t* inst);

/* Copies one line (newline included) into buffer, at most size - 1 bytes,
 * NUL-terminated. Returns the count; 0 at the end of data or on error. */
long ZELKWSYM_MpttGetLine(VESK2_MptTrap_t* inst, char* buffer, long size);

/* Moves the read position within the mapped file (origin 0, 1 or 2).
 * Returns 0 or an error code (1, 11, 14). */
int ZELKWSYM_MpttSeek(VESK2_MptTrap_t* inst, long offset, int origin);

/* Returns the read position, or -1 when not open. */
long ZELKWSYM_MpttTell(VESK2_MptTrap_t* inst);

/* The instance's last error code; for a null instance the library error of
 * the calling thread (failed creations, calls with a null instance). */
int ZELKWSYM_MpttGetLastError(VESK2_MptTrap_t* inst);

/* Zeroes the instance's last error (the library error for null). */
void ZELKWSYM_MpttClearError(VESK2_MptTrap_t* inst);

/* Lock tuning. Getters return the value or -1 for a null instance. Setters
 * return the previous value, or -1 with error 1 for a negative time or a retry
 * count below 1 (the value is kept). The block time is only stored. */
int ZELKWSYM_MpttGetLockBlockTime(VESK2_MptTrap_t* inst);
int ZELKWSYM_MpttSetLockBlockTime(VESK2_MptTrap_t* inst, int value);
int ZELKWSYM_MpttGetLockSleepTime(VESK2_MptTrap_t* inst);
int ZELKWSYM_MpttSetLockSleepTime(VESK2_MptTrap_t* inst, int milliseconds);
int ZELKWSYM_MpttGetLockRetryTimes(VESK2_MptTrap_t* inst);
int ZELKWSYM_MpttSetLockRetryTimes(VESK2_MptTrap_t* inst, int attempts);

#ifdef __cplusplus
}
#endif

#endif /* VESK2_TRACE_READER_H */
