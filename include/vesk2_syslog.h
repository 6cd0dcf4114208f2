/*
 * vesk2_syslog.h - syslog instances and log file clean-up.
 *
 * Shipped as libvesk2ZELKWLIBsys (32-bit), libvesk2ZELKWLIBsyse64 (64-bit),
 * both single-threaded, and libvesk2ZELKWLIBsys_r / libvesk2ZELKWLIBsyse64_r,
 * thread-safe. Every symbol below carries the version node VESKLib2.
 *
 * Results: 0 on success, 1 for a null, unknown or deleted instance or an
 * invalid argument, else (operation << 24) | errno. The clean-up functions
 * return plain errno values.
 */
#ifndef VESK2_SYSLOG_H
#define VESK2_SYSLOG_H

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque syslog instance; created and deleted only through this library. */
typedef struct tag_VESK2_SYSLOG VESK2_SYSLOG;

/* Option bit of ZELKWSYM_OpenSysLogInstance: insert the thread identifier. */
#define VESK2_SYSLOG_OPT_TID 0x10000
/* Option bits that ZELKWSYM_OpenSysLogInstance refuses. */
#define VESK2_SYSLOG_OPT_REFUSED 0x00FE0000
/* Operation number of a failed instance allocation in encoded results. */
#define VESK2_SYSLOG_OP_CREATE 101

/* NUL-terminated banner "$Version: ... Last Update: <date> $". */
extern const char ZELKWSYM_sys_version_string[];

/* Creates an instance with default settings (empty identity, LOG_PID|LOG_CONS,
 * LOG_USER, mask 0x7F) and stores it in *out; *out is null on failure.
 * Returns 0, 1 for a null out, or (101 << 24) | errno when allocation fails. */
int ZELKWSYM_CreateSysLogInstance(VESK2_SYSLOG** out);

/* Marks the instance deleted and frees it; the caller's pointer is dead
 * afterwards. Returns 0, or 1 for a null, unknown or deleted instance. */
int ZELKWSYM_DeleteSysLogInstance(VESK2_SYSLOG* instance);

/* Sets identity (at most 16 characters kept; copied), options and facility.
 * Option bit 0x10000 switches thread identifiers on for ordinary puts.
 * Returns 0, or 1 for a bad instance or any of the bits 0x00FE0000. */
int ZELKWSYM_OpenSysLogInstance(VESK2_SYSLOG* instance, const char* ident, int option,
                                int facility);

/* Opens the global instance; bit 0x10000 is ignored, other bits unchecked. */
void ZELKWSYM_OpenSysLog(const char* ident, int option, int facility);

/* Resets the instance to its defaults (the mask is kept); it stays usable.
 * Returns 0, or 1 for a bad instance. */
int ZELKWSYM_CloseSysLogInstance(VESK2_SYSLOG* instance);
int ZELKWSYM_CloseSysLog(void);

/* Sends text1, a space and text2 (or, with thread identifiers on in a
 * thread-safe build, text1 prefix tid suffix text2), cut at 1023 characters.
 * importance 0..6 is the syslog priority; anything else becomes 3.
 * Returns 0, or 1 for a bad instance. */
int ZELKWSYM_PutToSysLogInstance(VESK2_SYSLOG* instance, int importance, const char* text1,
                                 const char* text2);

/* Sends text on the global instance. Returns 0, or 22 for a bad instance. */
int ZELKWSYM_PutToSysLog(int importance, const char* text);

/* As ZELKWSYM_PutToSysLogInstance, but thread-safe builds always insert the
 * thread identifier; single-threaded builds never do. */
int ZELKWSYM_PutToSysLogWithTidInstance(VESK2_SYSLOG* instance, int importance, const char* text1,
                                        const char* text2);
int ZELKWSYM_PutToSysLogWithTid(int importance, const char* text1, const char* text2);

/* Thread identifier format: mode 4 "%08lX", 1 "%lX", 2 "%lu", 8 "%016lX";
 * prefix and suffix at most 7 characters each (null: "[" and "] ").
 * Returns 0, or 1 for a bad instance, mode or text; single-threaded builds
 * return 0 and change nothing. */
int ZELKWSYM_SetSysLogTidFormatInstance(VESK2_SYSLOG* instance, int mode, const char* prefix,
                                        const char* suffix);
int ZELKWSYM_SetSysLogTidFormat(int mode, const char* prefix, const char* suffix);

/* Stores the setlogmask(3) mask and returns the previous one (1 for a bad
 * instance). */
int ZELKWSYM_SetLogMaskInstance(VESK2_SYSLOG* instance, int mask);
int ZELKWSYM_SetLogMask(int mask);

/* Kept for interface compatibility: do nothing and return 0. */
int ZELKWSYM_SetEventSrcName(const char* name);
int ZELKWSYM_SetEventSrcNameInstance(VESK2_SYSLOG* instance, const char* name);

/* Decoding of results: ErrApi gives 0 or 1 as they are, the operation number
 * of an encoded code, else -1; ErrCode gives 0 for 0, 22 (EINVAL) for 1, the
 * errno part of an encoded code, else -1. */
int ZELKWSYM_SysLogErrApi(unsigned int code);
int ZELKWSYM_SysLogErrCode(int code);

/* For a caller's pthread_atfork registration; they do nothing. */
void ZELKWSYM_SysLogPreForkHandler(void);
void ZELKWSYM_SysLogPostForkHandlerForParent(void);
void ZELKWSYM_SysLogPostForkHandlerForChild(void);

/* Deletes the files matching pattern (a path whose last component may hold
 * wild cards; "*" also matches "/") that were last modified age_seconds or
 * more ago. Directories, files locked by another process and files that
 * cannot be opened for reading and writing are left alone. A negative age
 * does nothing. Returns 0 or the errno of the last failure; ENAMETOOLONG,
 * touching nothing, when the pattern or a built path reaches 4097 bytes. */
int ZELKWSYM_FileCleanupByTime(const char* pattern, int age_seconds);

/* Keeps the `keep` newest matching files and deletes the others under the
 * same guards; keep <= 0 deletes them all. Returns 0 or an errno. */
int ZELKWSYM_FileCleanupByNum(const char* pattern, int keep);

#ifdef __cplusplus
}
#endif

#endif /* VESK2_SYSLOG_H */
