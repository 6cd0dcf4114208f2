#include "service/daemon_process.h"

#include <glob.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tw::test {

void WriteSettings(const DaemonSettings& s) {
  std::ofstream out(kDataDocument, std::ios::trunc);
  out << "<config>\n"
      << "  <ErrorWatching>" << (s.watching ? "TRUE" : "FALSE") << "</ErrorWatching>\n"
      << "  <TimeoutAction>" << s.action << "</TimeoutAction>\n"
      << "  <TimeoutInterval>" << s.timeout << "</TimeoutInterval>\n"
      << "  <IntervalCount>" << s.count << "</IntervalCount>\n"
      << "  <ShorteningCount>" << s.shortening << "</ShorteningCount>\n"
      << "  <MinimumInterval>" << s.minimum << "</MinimumInterval>\n"
      << "  <RetryInterval>" << s.retry << "</RetryInterval>\n"
      << "  <MaximumRetryTime>" << s.maxRetry << "</MaximumRetryTime>\n"
      << "  <LogLevel>" << s.level << "</LogLevel>\n"
      << "  <LogSize>" << s.size << "</LogSize>\n"
      << "  <LogPages>" << s.pages << "</LogPages>\n"
      << "  <LogName>" << s.name << "</LogName>\n"
      << "</config>\n";
}

void BecomeSubreaper() { prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0); }

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  args.push_back(nullptr);
  envp.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  return pid;
}

int WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t got = waitpid(pid, &status, WNOHANG);
    if (got == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    } else if (got < 0 && errno != EINTR) {
      return -1;
    }
    if (std::chrono::steady_clock::now() > end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int StartDaemon(const std::vector<std::string>& extraEnv) {
  return WaitExit(Spawn({kDaemonPath}, extraEnv), std::chrono::seconds(30));
}

pid_t LockFilePid(std::chrono::milliseconds timeout) {
  pid_t pid = -1;
  WaitUntil(
      [&] {
        std::ifstream in(kLockFile);
        int value = 0;
        if (in >> value && value > 0) pid = value;
        return pid > 0;
      },
      timeout);
  return pid;
}

bool ProcessAlive(pid_t pid) {
  // A zombie is not alive; we reap our daemons, so look at its state.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  auto paren = line.rfind(')');
  return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] != 'Z';
}

std::vector<std::string> TraceLines(const std::string& name) {
  std::vector<std::string> lines;
  glob_t found;
  std::string pattern = "/opt/quorrel/zel-kw/log/" + name + "*.log";
  if (glob(pattern.c_str(), 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc; ++i) {
      std::ifstream in(found.gl_pathv[i]);
      std::string line;
      while (std::getline(in, line))
        if (line.find("ZELKW-") != std::string::npos) lines.push_back(line);
    }
  }
  globfree(&found);
  return lines;
}

int CountTrace(const std::string& id, const std::string& name) {
  int n = 0;
  for (const auto& line : TraceLines(name))
    if (line.find(id) != std::string::npos) ++n;
  return n;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace tw::test
