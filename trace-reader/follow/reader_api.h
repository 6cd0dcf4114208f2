// The reader library's entry points as the follower uses them: a table of
// function pointers, filled by dlopen from the installed library or, in
// tests, from the linked one.
#pragma once

#include <string>

#include "vesk2_trace_reader.h"

namespace follow {

struct ReaderApi {
  VESK2_MptTrap_t* (*createInstance)(const char*);
  int (*deleteInstance)(VESK2_MptTrap_t*);
  int (*openManagementFile)(VESK2_MptTrap_t*);
  int (*closeManagementFile)(VESK2_MptTrap_t*);
  int (*open)(VESK2_MptTrap_t*);
  int (*close)(VESK2_MptTrap_t*);
  long (*getCurrentOffset)(VESK2_MptTrap_t*);
  long (*read)(VESK2_MptTrap_t*, void*, long);
  int (*seek)(VESK2_MptTrap_t*, long, int);
  long (*tell)(VESK2_MptTrap_t*);
  int (*getLastError)(VESK2_MptTrap_t*);
  void (*clearError)(VESK2_MptTrap_t*);
};

// Loads the library at path and resolves every entry point. The library
// stays loaded for the life of the process. False with a message on failure.
bool LoadReaderApi(const std::string& path, ReaderApi* api, std::string* error);

// Fills the table from the functions this program was linked with.
#define FOLLOW_LINKED_READER_API                                                                \
  follow::ReaderApi {                                                                           \
    ZELKWSYM_MpttCreateInstance, ZELKWSYM_MpttDeleteInstance, ZELKWSYM_MpttOpenManagementFile,  \
        ZELKWSYM_MpttCloseManagementFile, ZELKWSYM_MpttOpen, ZELKWSYM_MpttClose,                \
        ZELKWSYM_MpttGetCurrentOffset, ZELKWSYM_MpttRead, ZELKWSYM_MpttSeek, ZELKWSYM_MpttTell, \
        ZELKWSYM_MpttGetLastError, ZELKWSYM_MpttClearError                                      \
  }

}  // namespace follow
