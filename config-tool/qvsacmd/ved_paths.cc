#include "ved_paths.h"

#include <array>
#include <vector>

#include "util_l2.h"

namespace {

std::array<std::string, kVedDirCount> fs_dirPaths;

// Calls a size in/out utility operation twice: once for the size, once to fill.
template <typename Op>
uint32_t FetchText(Op op, std::string* out) {
  size_t size = 0;
  uint32_t rc = op(nullptr, &size);
  if (rc != 0) return rc;
  std::vector<char> buffer(size + 1, '\0');
  size_t capacity = size;
  rc = op(buffer.data(), &capacity);
  if (rc != 0) return rc;
  if (capacity > size) return ERR_OUT_OF_RANGE;  // changed between the calls
  out->assign(buffer.data(), size > 0 && buffer[size - 1] == '\0' ? size - 1 : size);
  return 0;
}

uint32_t Dirname(const std::string& path, std::string* out) {
  return FetchText([&](char* b, size_t* s) { return DirnameGetFromPath_L2(path.c_str(), b, s); },
                   out);
}

}  // namespace

uint32_t VedJoinPath(const std::string& directory, const std::string& name, std::string* path) {
  return FetchText(
      [&](char* b, size_t* s) { return PathnameCreate_L2(directory.c_str(), name.c_str(), b, s); },
      path);
}

uint32_t VED_SetPaths(const char* program) {
  std::string full;
  uint32_t rc =
      FetchText([&](char* b, size_t* s) { return CommandNameGet_L2(program, b, s); }, &full);
  if (rc != 0) return rc;
  if (full.empty()) return ERR_NOT_FOUND;
  std::array<std::string, kVedDirCount> dirs;
  std::string tree;
  if ((rc = Dirname(full, &dirs[kVedDirProgram])) != 0) return rc;
  if ((rc = Dirname(dirs[kVedDirProgram], &tree)) != 0) return rc;
  if ((rc = VedJoinPath(tree, "lib", &dirs[kVedDirLib])) != 0) return rc;
  if ((rc = VedJoinPath(tree, "cnf", &dirs[kVedDirCnf])) != 0) return rc;
  if ((rc = VedJoinPath(tree, "log", &dirs[kVedDirLog])) != 0) return rc;
  if ((rc = VedJoinPath(tree, "assist", &dirs[kVedDirAssist])) != 0) return rc;
  fs_dirPaths = dirs;
  return 0;
}

const std::string& VedDirPath(VedDir which) { return fs_dirPaths[which]; }

uint32_t vedGetConstructPathname(const std::string& component, std::string* path) {
  if (component.empty() || component == "." || component == ".." ||
      component.find('/') != std::string::npos) {
    *path = fs_dirPaths[kVedDirAssist] + "/" + component;  // for the message only
    return ERR_NOT_FOUND;
  }
  return VedJoinPath(fs_dirPaths[kVedDirAssist], component, path);
}
