#include "harness/sandbox.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

namespace tw::test {
namespace {

bool g_inSandbox = false;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "test sandbox: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(99);
}

void Mount(const char* src, const char* target, const char* type, unsigned long flags,
           const char* data = nullptr) {
  if (::mount(src, target, type, flags, data) != 0) {
    Die(std::string("mount ") + (type ? type : "bind") + " on " + target);
  }
}

void MakeDir(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) {
    errno = ec.value();
    Die("mkdir " + path);
  }
}

// /dev stays the host's devtmpfs below; new files (the /dev/log socket) land
// in a private upper layer. Its sub-mounts (pts, shm, mqueue) are hidden by
// the overlay and are moved back on top of it.
void MakeDevWritable() {
  const std::string base = "/tmp/.tw-sandbox/dev";
  MakeDir(base + "/upper");
  MakeDir(base + "/work");
  MakeDir(base + "/old");
  Mount("/dev", (base + "/old").c_str(), nullptr, MS_BIND | MS_REC);
  const std::string opts = "lowerdir=/dev,upperdir=" + base + "/upper,workdir=" + base + "/work";
  Mount("overlay", "/dev", "overlay", 0, opts.c_str());
  for (const char* sub : {"pts", "shm", "mqueue", "hugepages"}) {
    const std::string from = base + "/old/" + sub;
    const std::string to = std::string("/dev/") + sub;
    struct stat a {
    }, b{};
    if (::stat(from.c_str(), &a) != 0 || ::stat((base + "/old").c_str(), &b) != 0) continue;
    if (a.st_dev == b.st_dev) continue;  // not a mount point
    MakeDir(to);
    Mount(from.c_str(), to.c_str(), nullptr, MS_BIND | MS_REC);
  }
}

bool Below(const std::string& path, const std::string& dir) {
  return path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
         path[dir.size()] == '/';
}

// The checkout, the build tree and the staged tree may lie below /tmp or
// /opt, which the sandbox covers with private file systems. Handles to them
// are taken before, and they are bound back at their own paths after.
class KeptPaths {
 public:
  KeptPaths() {
    for (const char* path : {TW_SOURCE_DIR, TW_BINARY_DIR, TW_STAGE_DIR}) {
      std::string p = std::filesystem::weakly_canonical(path).string();
      if (!Below(p, "/tmp") && !Below(p, "/opt")) continue;
      int fd = ::open(p.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (fd >= 0) kept_.emplace_back(p, fd);
    }
  }
  void BindBack() {
    for (const auto& [path, fd] : kept_) {
      MakeDir(path);
      const std::string handle = "/proc/self/fd/" + std::to_string(fd);
      Mount(handle.c_str(), path.c_str(), nullptr, MS_BIND | MS_REC);
      ::close(fd);
    }
    kept_.clear();
  }

 private:
  std::vector<std::pair<std::string, int>> kept_;
};

void CopyStage() {
  const std::string stage = StageDir() + "/opt/quorrel";
  if (!std::filesystem::is_directory(stage)) {
    errno = ENOENT;
    Die("staged tree " + stage + " is missing (run the install step first)");
  }
  std::error_code ec;
  std::filesystem::copy(
      stage, "/opt/quorrel",
      std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks, ec);
  if (ec) {
    errno = ec.value();
    Die("copy of " + stage + " to /opt/quorrel");
  }
}

}  // namespace

std::string StageDir() { return TW_STAGE_DIR; }

bool InSandbox() { return g_inSandbox; }

void EnterSandbox() {
  if (g_inSandbox) return;
  if (::geteuid() != 0) {
    errno = EPERM;
    Die("these tests run as root (they need a private mount namespace)");
  }
  if (::unshare(CLONE_NEWNS) != 0) Die("unshare(CLONE_NEWNS)");
  Mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE);
  KeptPaths kept;
  Mount("tw-tmp", "/tmp", "tmpfs", 0, "mode=1777");
  // A private tmpfs over /opt keeps the host's /opt untouched, and a copy
  // keeps what tests write (logs, settings) out of the staged tree.
  Mount("tw-opt", "/opt", "tmpfs", 0, "mode=0755");
  kept.BindBack();
  MakeDevWritable();
  CopyStage();
  ::umask(022);
  g_inSandbox = true;
}

}  // namespace tw::test
