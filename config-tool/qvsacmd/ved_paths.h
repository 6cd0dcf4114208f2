// The installation directories of qvsacmd, derived once from the path of the
// running program: <tree>/bin/qvsacmd gives <tree>/lib, cnf, log and assist.
#pragma once

#include <cstdint>
#include <string>

enum VedDir { kVedDirProgram = 0, kVedDirLib, kVedDirCnf, kVedDirLog, kVedDirAssist, kVedDirCount };

// Sets the directories from the program name (argv[0], searched along PATH
// when it holds no "/"). Returns 0 or the utility layer's code; on failure
// the directories stay empty.
uint32_t VED_SetPaths(const char* program);

// One of the directories set by VED_SetPaths (empty before).
const std::string& VedDirPath(VedDir which);

// directory + "/" + name through the utility layer; 0 or its code.
uint32_t VedJoinPath(const std::string& directory, const std::string& name, std::string* path);

// The component file of a component: the assist directory joined with the
// name. A name that is empty, ".", ".." or holds a "/" would leave that
// directory and is refused with ERR_NOT_FOUND (*path then names it for messages).
uint32_t vedGetConstructPathname(const std::string& component, std::string* path);
