/*
 * vesk2_trace.h - trace records written into rings of fixed-size text files.
 *
 * Shipped as libvesk2ZELKWLIBt (32-bit) and libvesk2ZELKWLIBte64 (64-bit),
 * thread-safe, and libvesk2ZELKWLIBs (32-bit) and libvesk2ZELKWLIBse64
 * (64-bit), single-threaded. Every symbol below carries the version node
 * VESKLib2.
 *
 * Results: 0 success, -1 failure. The failure is described by the calling
 * thread's error value (ZELKWSYM_GetLastError): bits 24..31 name the entry
 * point (VESK2_POS_*), bits 0..23 the code (VESK2_ERR_*); a detail word holds
 * errno where a system call failed. Texts are NUL-terminated, owned by the
 * caller and copied by the library.
 */
#ifndef VESK2_TRACE_H
#define VESK2_TRACE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Ring of lFileNum files named pszFileName + N + ".log" (N = 1..lFileNum),
 * each written up to about lFileSize bytes. Read during the call only.
 * Limits given for single-process rings; shared rings: see InitializeM. */
typedef struct tagVESK_LOGFILE_SPEC {
  long lFileSize;          /* 4096 .. 2147483647 */
  long lFileNum;           /* 1 .. 16 */
  const char* pszFileName; /* path prefix, at most 4090 characters */
} tagVESK_LOGFILE_SPEC;

/* Opaque trace instance; created and deleted only through this library. */
typedef struct VESKTraceObject VESKTraceObject;

/* Error codes (bits 0..23 of the error value). */
#define VESK2_ERR_ARGUMENT 1       /* null pointer, value out of range, bad spec */
#define VESK2_ERR_OPEN 2           /* open failed (errno) */
#define VESK2_ERR_CLOSE 3          /* close failed (errno) */
#define VESK2_ERR_WRITE 4          /* write failed (errno) */
#define VESK2_ERR_MMAP 7           /* mmap failed (errno) */
#define VESK2_ERR_UNLINK 8         /* a log file could not be deleted (errno) */
#define VESK2_ERR_NO_MEMORY 9      /* allocation failed (errno) */
#define VESK2_ERR_STATE 11         /* not/already initialised, invalid instance, no file */
#define VESK2_ERR_FLUSH 12         /* flush failed (errno) */
#define VESK2_ERR_OPENDIR 13       /* a directory could not be opened (errno) */
#define VESK2_ERR_SEEK 14          /* seek failed (errno) */
#define VESK2_ERR_NO_RECORD 16     /* result of GetLastError without a thread record */
#define VESK2_ERR_NOT_DIRECTORY 17 /* a path component is not a directory */
#define VESK2_ERR_STAT 20          /* status of a file cannot be read (errno) */
#define VESK2_ERR_MKDIR 21         /* directory creation failed (errno) */
#define VESK2_ERR_LOCK 22          /* the ring is held by another writer (errno) */
#define VESK2_ERR_MUNMAP 23        /* munmap failed (errno) */
#define VESK2_ERR_CHMOD 27         /* chmod failed (errno) */
#define VESK2_ERR_SHARED_ONLY 28   /* operation applies to shared rings only */
#define VESK2_ERR_REBUILT 29       /* management file replaced or rebuilt */

/* Positions (bits 24..31): the entry point that failed. */
#define VESK2_POS_SET_LOG_LEVEL 2
#define VESK2_POS_SET_FILE_THRESHOLD 4
#define VESK2_POS_INITIALIZE 6
#define VESK2_POS_FINALIZE 7
#define VESK2_POS_PUT_LINE 8
#define VESK2_POS_PUT_WITH_ID 9
#define VESK2_POS_PUT_WITH_ID_EX 10
#define VESK2_POS_FILE_BUFFER_FLUSH 11
#define VESK2_POS_LOG_FILE_CLEAR 12
#define VESK2_POS_TRACE_BACKUP 14
#define VESK2_POS_SET_INSTANCE_LOG_LEVEL 15
#define VESK2_POS_GET_INSTANCE_LOG_LEVEL 16
#define VESK2_POS_SET_INSTANCE_FILE_THRESHOLD 17
#define VESK2_POS_CREATE_INSTANCE 19
#define VESK2_POS_DELETE_INSTANCE 20
#define VESK2_POS_PUT_INSTANCE_LINE 21
#define VESK2_POS_PUT_INSTANCE_WITH_ID 22
#define VESK2_POS_PUT_INSTANCE_WITH_ID_EX 23
#define VESK2_POS_INSTANCE_FILE_BUFFER_FLUSH 24
#define VESK2_POS_INSTANCE_TRACE_BACKUP 25
#define VESK2_POS_PUT_WITH_MSG_TYPE 32
#define VESK2_POS_PUT_INSTANCE_WITH_MSG_TYPE 33
#define VESK2_POS_PUT_WITH_ID_AND_TID_EX 35
#define VESK2_POS_PUT_WITH_MSG_TYPE_AND_TID 36
#define VESK2_POS_CH_FILE_ATTR 37
#define VESK2_POS_CH_INSTANCE_FILE_ATTR 38
#define VESK2_POS_INITIALIZE_M 39
#define VESK2_POS_CREATE_INSTANCE_M 40
#define VESK2_POS_GET_LOCK_WAIT_TIME 41
#define VESK2_POS_SET_LOCK_WAIT_TIME 42
#define VESK2_POS_GET_LOCK_RETRY_TIMES 43
#define VESK2_POS_SET_LOCK_RETRY_TIMES 44
#define VESK2_POS_GET_INSTANCE_LOCK_WAIT_TIME 45
#define VESK2_POS_SET_INSTANCE_LOCK_WAIT_TIME 46
#define VESK2_POS_GET_INSTANCE_LOCK_RETRY_TIMES 47
#define VESK2_POS_SET_INSTANCE_LOCK_RETRY_TIMES 48
#define VESK2_POS_TRACE_BACKUP_M 49
#define VESK2_POS_INSTANCE_TRACE_BACKUP_M 50

/* NUL-terminated banner "$Version: <title> <version> Last Update: <date> $". */
extern const char ZELKWSYM_version_string[];

/* ---- Library state, instances ------------------------------------------ */

/* Opens the process-global single-process ring described by spec; appName
 * (may be null) is cut or space-padded to 16 characters. Fails with code 11
 * while a global ring is open, 1 for a bad spec, 2/17/21/22 when the ring
 * cannot be opened. */
int ZELKWSYM_Initialize(const tagVESK_LOGFILE_SPEC* spec, const char* appName);

/* Opens the process-global shared ring: several processes append to one
 * ring of memory-mapped files coordinated by the management file
 * <dir>/mmap/<name>.mm (format: vesk2_trace_format.h). option: VESK2_MODE_*
 * bits (0..63). Limits: lFileSize 4096..16777216, lFileNum 1..64, prefix at
 * most 4088 characters. Returns 0, 3 when the management file was built anew
 * from trace files found (code 29, the ring is usable), or -1 (1 bad
 * arguments, 22 lock not obtained, 2/7/14/17/20/21 file failures). */
int ZELKWSYM_InitializeM(const tagVESK_LOGFILE_SPEC* spec, const char* appName, uint32_t option);

/* Closes the global ring opened by ZELKWSYM_Initialize or ..InitializeM. Code 11 when none is
 * open; a failing close keeps the ring object and returns -1 with code 3. */
int ZELKWSYM_Finalize(void);

/* Creates an instance with its own single-process ring; *out receives the
 * handle, or null on failure (code 1 null out / bad spec, 9 memory, or the
 * ring's open failure). Does not need ZELKWSYM_Initialize. */
int ZELKWSYM_CreateInstance(VESKTraceObject** out, const tagVESK_LOGFILE_SPEC* spec,
                            const char* appName);

/* Creates an instance writing into a shared ring, as ZELKWSYM_InitializeM;
 * appName also goes into the process line of its header. Returns 0, 3 (as
 * ZELKWSYM_InitializeM; the handle is valid) or -1 with *out null. */
int ZELKWSYM_CreateInstanceM(VESKTraceObject** out, const tagVESK_LOGFILE_SPEC* spec,
                             const char* appName, uint32_t option);

/* Closes the instance's ring and frees the instance; the handle is dead
 * afterwards. Code 1 for null, 11 for a handle that is not live; when the
 * close fails the instance stays usable and its code is returned. */
int ZELKWSYM_DeleteInstance(VESKTraceObject* instance);

/* Thread-safe builds: frees every thread's error record; meant as the very
 * last call of the process. Single-threaded builds: does nothing. */
int ZELKWSYM_EndLibrary(void);

/* Returns the calling thread's last error value and stores its detail
 * (errno or 0) through detail when detail is not null. Returns 16 and stores
 * nothing if the thread has no error record and none can be made. */
uint32_t ZELKWSYM_GetLastError(uint32_t* detail);

/* ---- Permissions, flushing ---------------------------------------------- */

/* Sets mode (0..07777, owner read/write always added) on every existing file
 * of the global ring and on files it creates later. Code 11 without a global
 * ring, 1 for bits above 07777, 27 when chmod fails. */
int ZELKWSYM_ChFileAttr(int mode);

/* The same for an instance's ring. Code 1 for a null instance or bad bits,
 * 11 for an instance that is not live. */
int ZELKWSYM_ChInstanceFileAttr(VESKTraceObject* instance, int mode);

/* Pushes the global ring's written records towards the disk. Code 11 without
 * a global ring, 12 when the descriptor flags cannot be changed. */
int ZELKWSYM_FileBufferFlush(void);

/* The same for an instance's ring (1 null instance, 11 not live or no file). */
int ZELKWSYM_InstanceFileBufferFlush(VESKTraceObject* instance);

/* ---- Backup and clean-up ------------------------------------------------ */

/* Flushes the global ring and copies it, oldest file first, into the file
 * path (created or emptied; missing directories are made). Single-process
 * rings copy whole files; shared rings copy each file's data up to its end
 * mark. Code 11 without a global ring, 2 when path cannot be opened, 4 when
 * a write fails (the partial copy stays). */
int ZELKWSYM_TraceBackup(const char* path);

/* The same; mode 16 copies a shared ring without holding its inter-process
 * lock, 0 with it. Other modes: code 1. */
int ZELKWSYM_TraceBackupM(const char* path, int mode);

/* The same for an instance's ring (code 1 null instance, 11 not live). */
int ZELKWSYM_InstanceTraceBackup(VESKTraceObject* instance, const char* path);
int ZELKWSYM_InstanceTraceBackupM(VESKTraceObject* instance, const char* path, int mode);

/* Deletes files matching pattern (wild cards in the last component; matched
 * against the whole path) that no other process holds a lock on and no ring
 * of this process writes: method 1 those last modified value seconds ago or
 * earlier, method 2 all but the value newest. Code 1 bad arguments, 13 the
 * directory cannot be opened, 20 an entry cannot be examined (by count:
 * nothing is deleted then), 8 an unlink failed (the others still go). */
int ZELKWSYM_LogFileClear(const char* pattern, int method, int value);

/* ---- Lock values of shared rings ----------------------------------------- */

/* Wait (ms, negative becomes 0) between lock attempts and number of attempts
 * (below 1 becomes 1) of the global shared ring. Setters return the previous
 * value; all fail with code 28 (-1) while a global single-process ring is
 * open. */
int ZELKWSYM_SetLockWaitTime(int ms);
int ZELKWSYM_GetLockWaitTime(void);
int ZELKWSYM_SetLockRetryTimes(int count);
int ZELKWSYM_GetLockRetryTimes(void);

/* The same for one instance's shared ring; a null instance reads or replaces
 * the default for later shared instances. Code 11 for an instance that is not
 * live, 28 for a single-process instance. */
int ZELKWSYM_SetInstanceLockWaitTime(VESKTraceObject* instance, int ms);
int ZELKWSYM_GetInstanceLockWaitTime(VESKTraceObject* instance);
int ZELKWSYM_SetInstanceLockRetryTimes(VESKTraceObject* instance, int count);
int ZELKWSYM_GetInstanceLockRetryTimes(VESKTraceObject* instance);

/* For a caller's pthread_atfork registration; they do nothing. */
void ZELKWSYM_PreForkHandler(void);
void ZELKWSYM_PostForkHandlerForParent(void);
void ZELKWSYM_PostForkHandlerForChild(void);

/* ---- Levels, thresholds, time-stamp mode -------------------------------- */

/* Global log level (-1..1000, -1 = nothing is written). Returns the previous
 * level; an out-of-range value stores nothing and leaves code 1. */
int ZELKWSYM_SetLogLevel(int level);
int ZELKWSYM_GetLogLevel(void);

/* Global file threshold: records of level >= threshold reach the file
 * (-1 = none). Returns the previous value; out of range leaves code 1. */
int ZELKWSYM_SetFileThreshold(int threshold);

/* Memory-map thresholds cannot be changed: these do nothing and return 0. */
int ZELKWSYM_SetShmThreshold(int threshold);
int ZELKWSYM_SetInstanceShmThreshold(VESKTraceObject* instance, int threshold);

/* Instance log level and file threshold, as the global forms. A null
 * instance (code 1) or one that is not live (code 11) returns 0. */
int ZELKWSYM_SetInstanceLogLevel(VESKTraceObject* instance, int level);
int ZELKWSYM_GetInstanceLogLevel(VESKTraceObject* instance);
int ZELKWSYM_SetInstanceFileThreshold(VESKTraceObject* instance, int threshold);

/* Time-stamp mode: 1 writes stars in place of every digit of the time in
 * the global puts without a caller-given thread id. Stores any value. */
int ZELKWSYM_SetTimeStumpMode(int mode);
int ZELKWSYM_GetTimeStumpMode(void);

/* Swap messages (syslog at LOG_INFO when a ring moves to its next file):
 * mode 0 off, 1 on; other values are ignored. Returns the mode in force. */
int ZELKWSYM_SetSwapMessageMode(int mode);

/* ---- Puts ---------------------------------------------------------------- */
/* level 0..1000; text must not be null; ids, types, names may be null (blank
 * columns). A record is written only when level <= the log level, to the file
 * only when level >= the file threshold. 0 also when filtered out. */

/* Global puts: need ZELKWSYM_Initialize (code 11 otherwise). */
int ZELKWSYM_PutWithId(int level, const char* msgId, const char* text);
int ZELKWSYM_PutLine(int level, const char* text);
int ZELKWSYM_PutWithIdEx(int level, const char* appName, const char* msgId, const char* text);
int ZELKWSYM_PutWithMsgType(int level, const char* appName, const char* msgId, const char* msgType,
                            const char* text);
/* threadId is printed instead of the caller's own (cut/padded to 8). */
int ZELKWSYM_PutWithIdAndTidEx(int level, const char* appName, const char* threadId,
                               const char* msgId, const char* text);
int ZELKWSYM_PutWithMsgTypeAndTid(int level, const char* appName, const char* threadId,
                                  const char* msgId, const char* msgType, const char* text);

/* Instance puts: code 1 for a null instance, 11 for one that is not live. */
int ZELKWSYM_PutInstanceWithId(VESKTraceObject* instance, int level, const char* msgId,
                               const char* text);
int ZELKWSYM_PutInstanceLine(VESKTraceObject* instance, int level, const char* text);
int ZELKWSYM_PutInstanceWithIdEx(VESKTraceObject* instance, int level, const char* appName,
                                 const char* msgId, const char* text);
int ZELKWSYM_PutInstanceWithMsgType(VESKTraceObject* instance, int level, const char* appName,
                                    const char* msgId, const char* msgType, const char* text);

/* The memory-map destination does not exist: these ignore their arguments
 * and return 0. */
int ZELKWSYM_PutToShm(int level, const char* msgId, const char* text);
int ZELKWSYM_PutMsgSigSafe(int level, const char* msgId, const char* text);

#ifdef __cplusplus
}
#endif

#endif /* VESK2_TRACE_H */
