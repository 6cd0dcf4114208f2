#include "test_util.h"

#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace tracetest {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

long FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

bool Exists(const std::string& path) { return FileSize(path) >= 0; }

int FileMode(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

std::vector<std::string> Lines(const std::string& content) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t end = content.find("\r\n", pos);
    if (end == std::string::npos) {
      out.push_back(content.substr(pos));
      break;
    }
    out.push_back(content.substr(pos, end - pos));
    pos = end + 2;
  }
  return out;
}

std::vector<std::string> Records(const std::string& path) {
  std::vector<std::string> out;
  for (auto& line : Lines(ReadFile(path))) {
    if (line.rfind("**** ", 0) == 0 || line.rfind("     yyyy/mm/dd", 0) == 0) continue;
    out.push_back(line);
  }
  return out;
}

int HeaderBlocks(const std::string& path) {
  int n = 0;
  for (auto& line : Lines(ReadFile(path))) n += line.rfind("**** ", 0) == 0 ? 1 : 0;
  return n;
}

LastError Last() {
  LastError e{0, 0};
  e.code = ZELKWSYM_GetLastError(&e.detail);
  return e;
}

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

std::string OwnThreadId() {
  if (!kThreadSafe) return "--------";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(pthread_self()));
  return buf;
}

std::string ProcessId() {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(getpid()));
  return buf;
}

std::string NewDir(const std::string& tag) {
  std::string tmpl = "/tmp/trace-" + tag + "-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) return "/tmp/trace-mkdtemp-failed";
  return buf.data();
}

std::string Text(size_t n, char c) { return std::string(n, c); }

void TraceTest::TearDown() {
  ZELKWSYM_Finalize();
  ZELKWSYM_SetLogLevel(0);
  ZELKWSYM_SetFileThreshold(0);
  ZELKWSYM_SetTimeStumpMode(0);
  ZELKWSYM_SetSwapMessageMode(0);
  unsetenv("VESK2_TRACECNF_FILE");
}

}  // namespace tracetest
