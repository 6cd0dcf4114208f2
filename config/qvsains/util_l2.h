// Portable utility layer: environment, paths, text-to-integer conversion,
// files with whole-file locks, and mutexes. Every operation returns 0 or a
// result code (result_codes.h) instead of setting errno.
//
// Text results follow one size convention: the caller passes a buffer (may be
// NULL) and the address of its capacity; on success the size becomes the
// bytes the whole result needs, NUL included. Truncating operations store
// capacity-1 bytes and a NUL when the result does not fit; non-truncating ones
// (FullpathGet_l2, CommandNameGet_L2) store the first capacity bytes unterminated.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "result_codes.h"

// Open flags of FileOpen_L2.
constexpr uint32_t FILE_OPEN_READ = 1;
constexpr uint32_t FILE_OPEN_WRITE = 2;
constexpr uint32_t FILE_OPEN_CREATE = 4;
constexpr uint32_t FILE_OPEN_EXCL = 8;
constexpr uint32_t FILE_OPEN_TRUNC = 16;  // after the lock is held
constexpr uint32_t FILE_OPEN_APPEND = 32;
// Access flags of FileAccess_L2 (0 tests existence only).
constexpr uint32_t FILE_ACCESS_EXEC = 2;
constexpr uint32_t FILE_ACCESS_WRITE = 4;
constexpr uint32_t FILE_ACCESS_READ = 8;
// Origins of FileSeek_L2.
constexpr int FILE_SEEK_START = 1;
constexpr int FILE_SEEK_CURRENT = 2;
constexpr int FILE_SEEK_END = 3;
// MutexLock_L2: try once instead of waiting.
constexpr uint32_t MUTEX_TRY = 1;

// Largest path the layer composes or resolves, NUL included.
constexpr size_t PATH_MAX_L2 = 4096;

// The value of an environment variable (truncating). ERR_INVALID for a NULL
// name or size, ERR_NO_ENTRY when the variable is not set.
uint32_t EnvironmentGet_L2(const char* name, char* buffer, size_t* size);

// The working directory (truncating). ERR_ACCESS or ERR_SYSCALL with errno.
uint32_t CurrentDirGet_L2(char* buffer, size_t* size);

// The path made absolute against the working directory, resolving only its
// leading "." and ".." elements (non-truncating).
uint32_t FullpathGet_l2(const char* path, char* buffer, size_t* size);

// The full path of a command: unchanged when absolute, made absolute when it
// holds a "/", else the first executable candidate along PATH (non-truncating).
// No candidate: success with size 0. PATH not set: ERR_NO_ENTRY.
uint32_t CommandNameGet_L2(const char* command, char* buffer, size_t* size);

// The last component of a path, as POSIX basename (truncating).
uint32_t FilenameGetFromPath_L2(const char* path, char* buffer, size_t* size);

// The directory part of a path, as POSIX dirname (truncating).
uint32_t DirnameGetFromPath_L2(const char* path, char* buffer, size_t* size);

// directory + "/" (unless it ends with one) + name (truncating).
// ERR_OUT_OF_RANGE when both lengths plus 2 exceed PATH_MAX_L2.
uint32_t PathnameCreate_L2(const char* directory, const char* name, char* buffer, size_t* size);

// 1 for "0" to "7", else 0.
int CharIsOctet_L2(int character);

// A malloc'ed copy of text into *copy (release with free).
uint32_t StrDup_L2(const char* text, char** copy);

// Text to integer over at most length bytes of text, base 0 (automatic:
// "0x" hexadecimal, leading "0" octal, else decimal) or 2 to 36. White space
// may surround the number; nothing else may follow it. Out-of-range values
// give ERR_OUT_OF_RANGE with the saturated value, bad text ERR_INVALID with
// the value read so far. *value is stored also on failure.
uint32_t StrToInt32_L2(const char* text, size_t length, int base, int32_t* value);
uint32_t StrToUint32_L2(const char* text, size_t length, int base, uint32_t* value);
uint32_t StrToInt64_L2(const char* text, size_t length, int base, int64_t* value);
uint32_t StrToUint64_L2(const char* text, size_t length, int base, uint64_t* value);

// Opens path with FILE_OPEN_ flags and permission digits written like octal
// in hexadecimal (0x644 = rw-r--r--), then waits for a whole-file flock:
// exclusive with FILE_OPEN_WRITE, else shared with FILE_OPEN_READ. Truncates
// after locking with FILE_OPEN_TRUNC. ERR_RETRY (EAGAIN) or ERR_SYSCALL with errno.
uint32_t FileOpen_L2(int* descriptor, const char* path, uint32_t flags, uint32_t permissions);

// Closes the descriptor, which also releases its lock.
uint32_t FileClose_L2(int descriptor);

// Reads up to *size bytes; *size becomes the number read (0 at the end).
uint32_t FileRead_L2(int descriptor, void* buffer, size_t* size);

// Writes up to *size bytes; *size becomes the number written.
// ERR_RETRY with EINTR when interrupted.
uint32_t FileWrite_L2(int descriptor, const void* buffer, size_t* size);

// Moves the file position from FILE_SEEK_ origin; *offset becomes the new position.
uint32_t FileSeek_L2(int descriptor, int64_t* offset, int origin);

// rename(old_path, new_path).
uint32_t FileMove_L2(const char* old_path, const char* new_path);

// access() with FILE_ACCESS_ flags. ERR_NOT_FOUND, ERR_NO_MEMORY, ERR_ACCESS,
// ERR_INVALID or ERR_SYSCALL, each with errno.
uint32_t FileAccess_L2(const char* path, uint32_t flags);

// Plain mutex wrappers; failures give ERR_SYSCALL with the returned error.
uint32_t MutexInit_L2(pthread_mutex_t* mutex);
uint32_t MutexTerm_L2(pthread_mutex_t* mutex);
uint32_t MutexLock_L2(pthread_mutex_t* mutex, uint32_t flags);
uint32_t MutexUnlock_L2(pthread_mutex_t* mutex);
