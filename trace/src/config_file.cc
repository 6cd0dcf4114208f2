#include "config_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace vesk {

int VESK_GetAbsolutePath(const char* path, char* out, size_t size) {
  if (path == nullptr || path[0] != '/') return -1;
  std::string result;
  try {
    std::vector<std::string> kept;
    const char* p = path;
    while (*p != '\0') {
      while (*p == '/') ++p;
      const char* start = p;
      while (*p != '\0' && *p != '/') ++p;
      std::string comp(start, static_cast<size_t>(p - start));
      if (comp.empty() || comp == ".") continue;
      if (comp == "..") {
        if (!kept.empty()) kept.pop_back();
        continue;
      }
      kept.push_back(std::move(comp));
    }
    for (const auto& c : kept) result += "/" + c;
    if (result.empty()) result = "/";
  } catch (...) {
    return -1;  // working storage could not be had
  }
  if (result.size() + 1 > size) return -1;
  std::memcpy(out, result.c_str(), result.size() + 1);
  return 0;
}

void ChooseCnfFile(char* out) {
  std::strcpy(out, kDefaultCnfPath);
  const char* env = std::getenv(kCnfEnv);
  if (env == nullptr) return;
  size_t len = strnlen(env, 4097);
  if (len < 1 || len > 4096) return;
  char abs[4097];
  if (VESK_GetAbsolutePath(env, abs, sizeof abs) != 0) return;
  if (std::strcmp(abs, kDefaultCnfPath) == 0 || std::strcmp(abs, kOldCnfPath) == 0) return;
  struct stat st;
  if (stat(abs, &st) != 0 || !S_ISREG(st.st_mode)) return;
  std::strcpy(out, abs);
}

void VESKConfigInf2::loadCnf() {
  szMsgString[0] = '\0';
  char path[4097];
  ChooseCnfFile(path);
  FILE* f = std::fopen(path, "re");
  if (f == nullptr) return;
  char line[4160];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, "MsgString", 9) != 0) continue;
    const char* eq = std::strchr(line + 9, '=');
    if (eq == nullptr) break;  // a malformed entry ends the file; values so far stay
    const char* value = eq + 1;
    if (*value == ' ') ++value;
    std::snprintf(szMsgString, sizeof szMsgString, "%s", value);
  }
  std::fclose(f);
}

}  // namespace vesk
