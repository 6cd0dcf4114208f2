#include "tool_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tw::test {
namespace {

int Decode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return Decode(status);
}

[[noreturn]] void Fail(int code, const char* what) {
  std::fprintf(stderr, "tool runner: %s: %s\n", what, std::strerror(errno));
  _exit(code);
}

// Pid 1 of the private namespace: mounts its /proc, starts the stand-in and
// the tool, ends the stand-in once the tool is done, and exits with the
// tool's status.
[[noreturn]] void NamespaceInit(const std::vector<std::string>& args, const RunOptions& options,
                                const std::string& standin_path, const std::string& result,
                                const std::string& ready, int out_fd, int err_fd) {
  if (mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
    Fail(90, "mount /proc");
  }
  pid_t standin = -1;
  if (!options.standin.empty()) {
    standin = fork();
    if (standin == 0) {
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 1);
      dup2(null, 2);
      execl(standin_path.c_str(), options.standin.c_str(), result.c_str(), ready.c_str(),
            static_cast<char*>(nullptr));
      Fail(91, "exec stand-in");
    }
    for (int i = 0; i < 500 && access(ready.c_str(), F_OK) != 0; ++i) usleep(10000);
  }
  const pid_t tool = fork();
  if (tool == 0) {
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    if (chdir(options.cwd.c_str()) != 0) Fail(92, "chdir");
    if (!options.path_env.empty()) setenv("PATH", options.path_env.c_str(), 1);
    const std::string& name = options.argv0.empty() ? options.program : options.argv0;
    std::vector<char*> argv{const_cast<char*>(name.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(options.program.c_str(), argv.data());
    Fail(93, "exec tool");
  }
  const int status = WaitFor(tool);
  if (standin > 0) {
    // A signal from the notice is already pending; SIGTERM comes after it
    // in delivery order, so it only ends a stand-in that got nothing else.
    kill(standin, SIGTERM);
    WaitFor(standin);
  }
  _exit(status < 0 ? 94 : status);
}

void Drain(int out_fd, int err_fd, std::string* out, std::string* err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  int open_count = 2;
  char buffer[4096];
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? out : err)->append(buffer, static_cast<size_t>(n));
      } else {
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

ToolResult RunTool(const std::vector<std::string>& args, const RunOptions& options) {
  static int serial = 0;
  ToolResult r;
  const std::string dir = "/tmp/tw-runner/" + std::to_string(++serial);
  std::filesystem::create_directories(dir);
  const std::string result = dir + "/signal", ready = dir + "/ready";
  std::string standin_path;
  if (!options.standin.empty()) {
    standin_path = dir + "/" + options.standin;
    std::filesystem::copy_file(TW_SIGREC_PATH, standin_path);
    chmod(standin_path.c_str(), 0755);
  }
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return r;
  }
  const pid_t outer = fork();
  if (outer == 0) {
    if (unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) Fail(95, "unshare");
    const pid_t init = fork();
    if (init == 0) {
      NamespaceInit(args, options, standin_path, result, ready, out_pipe[1], err_pipe[1]);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    const int status = WaitFor(init);
    _exit(status < 0 ? 96 : status);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  Drain(out_pipe[0], err_pipe[0], &r.out, &r.err);
  close(out_pipe[0]);
  close(err_pipe[0]);
  r.status = WaitFor(outer);
  if (!options.standin.empty()) {
    const std::string got = Exists(result) ? ReadFile(result) : "";
    r.signal = got.empty() ? -2 : std::atoi(got.c_str());
    if (r.signal == SIGTERM) r.signal = 0;  // only the runner's own ending signal came
  }
  std::filesystem::remove_all(dir);
  return r;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text, int mode) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  EXPECT_TRUE(out.good()) << "cannot write " << path;
  chmod(path.c_str(), static_cast<mode_t>(mode));
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace tw::test
