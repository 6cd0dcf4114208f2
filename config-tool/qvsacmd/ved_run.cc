// Runs a notice without a shell of its own: the argument vector goes to
// execvp as built, so no text of a component file is re-read by a shell
// except the arguments of an "execute" notice, which are a command line.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ved_notice.h"

void VedRunNotice(const VedNotice& notice) {
  const std::vector<std::string> args = VedNoticeArgv(notice);
  if (args.empty()) return;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = fork();
  if (child < 0) {
    std::fprintf(stderr, "ERROR:don't run notice (%s: %s).\n", argv[0], std::strerror(errno));
    return;
  }
  if (child == 0) {
    execvp(argv[0], argv.data());
    std::fprintf(stderr, "ERROR:don't run notice (%s: %s).\n", argv[0], std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}
