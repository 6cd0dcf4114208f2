// Runs the installed qvsacmd as an administrator would, inside a private PID
// namespace with its own /proc, so that killall can only reach processes the
// test started there (never a daemon of the host or of another test).
#pragma once

#include <string>
#include <vector>

namespace tw::test {

constexpr const char kQvsacmd[] = "/opt/quorrel/zel-px/tool/bin/qvsacmd";

struct ToolResult {
  int status = -1;  // exit status, 128 + signal when killed, -1 when not run
  std::string out;
  std::string err;
  int signal = -1;  // first signal the stand-in process got; 0 none, -1 no stand-in
};

struct RunOptions {
  std::string standin;    // when set: a process with this name runs beside the tool
  std::string cwd = "/";  // working directory of the tool
  std::string program = kQvsacmd;
  std::string argv0;     // the name the tool is started by (default: program)
  std::string path_env;  // PATH for the tool when set
};

ToolResult RunTool(const std::vector<std::string>& args, const RunOptions& options = {});

// Small file helpers; they fail the current test on error.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text, int mode = 0644);
bool Exists(const std::string& path);

}  // namespace tw::test
