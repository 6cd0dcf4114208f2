// Environment, working directory and path composition.
#include <errno.h>
#include <libgen.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "util_l2.h"
#include "util_text_out_l2.h"

uint32_t EnvironmentGet_L2(const char* name, char* buffer, size_t* size) {
  if (name == nullptr || size == nullptr) return ERR_INVALID;
  const char* value = getenv(name);
  if (value == nullptr) return ERR_NO_ENTRY;
  TextOutTruncate_l2(value, strlen(value), buffer, size);
  return 0;
}

uint32_t CurrentDirGet_L2(char* buffer, size_t* size) {
  if (size == nullptr) return ERR_INVALID;
  char cwd[PATH_MAX_L2];
  if (getcwd(cwd, sizeof cwd) == nullptr) {
    int err = errno;
    return ErrWithErrno(err == EACCES ? ERR_ACCESS : ERR_SYSCALL, err);
  }
  TextOutTruncate_l2(cwd, strlen(cwd), buffer, size);
  return 0;
}

namespace {

// basename/dirname modify their argument and look at no more than a path.
uint32_t PathPart(const char* path, char* buffer, size_t* size, bool want_dir) {
  if (path == nullptr || size == nullptr) return ERR_INVALID;
  char copy[PATH_MAX_L2];
  size_t n = strnlen(path, PATH_MAX_L2 - 1);
  memcpy(copy, path, n);
  copy[n] = '\0';
  const char* part = want_dir ? dirname(copy) : __xpg_basename(copy);
  TextOutTruncate_l2(part, strlen(part), buffer, size);
  return 0;
}

}  // namespace

uint32_t FilenameGetFromPath_L2(const char* path, char* buffer, size_t* size) {
  return PathPart(path, buffer, size, false);
}

uint32_t DirnameGetFromPath_L2(const char* path, char* buffer, size_t* size) {
  return PathPart(path, buffer, size, true);
}

uint32_t PathnameCreate_L2(const char* directory, const char* name, char* buffer, size_t* size) {
  if (directory == nullptr || name == nullptr || size == nullptr) return ERR_INVALID;
  size_t dlen = strlen(directory), nlen = strlen(name);
  if (dlen + nlen + 2 > PATH_MAX_L2) return ERR_OUT_OF_RANGE;
  char joined[PATH_MAX_L2];
  memcpy(joined, directory, dlen);
  size_t pos = dlen;
  if (dlen == 0 || directory[dlen - 1] != '/') joined[pos++] = '/';
  memcpy(joined + pos, name, nlen);
  pos += nlen;
  joined[pos] = '\0';
  TextOutTruncate_l2(joined, pos, buffer, size);
  return 0;
}

uint32_t FullpathGet_l2(const char* path, char* buffer, size_t* size) {
  if (path == nullptr || size == nullptr) return ERR_INVALID;
  if (path[0] == '/') {
    TextOutWhole_l2(path, strlen(path), buffer, size);
    return 0;
  }
  // Only the leading dot elements are resolved; inner ones stay as written.
  const char* rest = path;
  int levels_up = 0;
  for (;;) {
    if (strncmp(rest, "../", 3) == 0) {
      ++levels_up;
      rest += 3;
    } else if (strcmp(rest, "..") == 0) {
      ++levels_up;
      rest += 2;
    } else if (strncmp(rest, "./", 2) == 0) {
      rest += 2;
    } else if (strcmp(rest, ".") == 0) {
      rest += 1;
    } else if (rest[0] == '/') {
      rest += 1;
    } else {
      break;
    }
  }
  char cwd[PATH_MAX_L2];
  size_t cwd_size = sizeof cwd;
  uint32_t rc = CurrentDirGet_L2(cwd, &cwd_size);
  if (rc != 0) return rc;
  size_t len = strlen(cwd);
  while (len > 0 && cwd[len - 1] == '/') --len;
  for (int i = 0; i < levels_up; ++i) {
    while (len > 0 && cwd[len - 1] != '/') --len;
    while (len > 0 && cwd[len - 1] == '/') --len;
  }
  size_t rest_len = strlen(rest);
  char* result = static_cast<char*>(malloc(len + rest_len + 3));
  if (result == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
  memcpy(result, cwd, len);
  size_t pos = len;
  // The root itself keeps its slash: "/" and "." there resolve to "/".
  if (rest_len > 0 || pos == 0) result[pos++] = '/';
  memcpy(result + pos, rest, rest_len);
  pos += rest_len;
  result[pos] = '\0';
  TextOutWhole_l2(result, pos, buffer, size);
  free(result);
  return 0;
}

namespace {

// Grows *buffer until fn's result fits, as the size convention allows.
template <typename Fn>
uint32_t CallGrowing(Fn fn, char** buffer, size_t* capacity) {
  for (;;) {
    size_t size = *capacity;
    uint32_t rc = fn(*buffer, &size);
    if (rc != 0) return rc;
    if (size <= *capacity) return 0;
    char* grown = static_cast<char*>(realloc(*buffer, size));
    if (grown == nullptr) return ErrWithErrno(ERR_NO_MEMORY, errno);
    *buffer = grown;
    *capacity = size;
  }
}

}  // namespace

uint32_t CommandNameGet_L2(const char* command, char* buffer, size_t* size) {
  if (command == nullptr || size == nullptr) return ERR_INVALID;
  if (command[0] == '/') {
    TextOutWhole_l2(command, strlen(command), buffer, size);
    return 0;
  }
  if (strchr(command, '/') != nullptr) return FullpathGet_l2(command, buffer, size);
  const char* path_var = getenv("PATH");
  if (path_var == nullptr) return ERR_NO_ENTRY;

  char* dir = nullptr;
  size_t dir_cap = 0;
  char* candidate = nullptr;
  size_t cand_cap = 0;
  uint32_t rc = 0;
  bool found = false;
  size_t cmd_len = strlen(command);
  for (const char* elem = path_var;;) {
    const char* end = strchrnul(elem, ':');
    size_t elem_len = static_cast<size_t>(end - elem);
    char* element = static_cast<char*>(malloc(elem_len + 2));
    if (element == nullptr) {
      rc = ErrWithErrno(ERR_NO_MEMORY, errno);
      break;
    }
    // An empty element means the working directory.
    if (elem_len == 0) {
      strcpy(element, ".");
    } else {
      memcpy(element, elem, elem_len);
      element[elem_len] = '\0';
    }
    rc = CallGrowing([&](char* b, size_t* s) { return FullpathGet_l2(element, b, s); }, &dir,
                     &dir_cap);
    free(element);
    if (rc != 0) break;
    size_t dir_len = strlen(dir);
    size_t need = dir_len + 1 + cmd_len + 1;
    if (need > cand_cap) {
      char* grown = static_cast<char*>(realloc(candidate, need));
      if (grown == nullptr) {
        rc = ErrWithErrno(ERR_NO_MEMORY, errno);
        break;
      }
      candidate = grown;
      cand_cap = need;
    }
    memcpy(candidate, dir, dir_len);
    candidate[dir_len] = '/';
    memcpy(candidate + dir_len + 1, command, cmd_len + 1);
    if (FileAccess_L2(candidate, FILE_ACCESS_EXEC) == 0) {
      found = true;
      break;
    }
    if (*end == '\0') break;
    elem = end + 1;
  }
  if (rc == 0) {
    if (found) {
      TextOutWhole_l2(candidate, strlen(candidate), buffer, size);
    } else {
      *size = 0;
    }
  }
  free(dir);
  free(candidate);
  return rc;
}
