// A tiny stand-in for the daemon's side of /dev/ipmi0, run with the double
// preloaded by the double's own tests. Each argument is one step; each step
// prints one line.
//
//   open | close | closeall           the device; closeall closes every fd >= 3,
//                                     as the daemon closes those from 5 up
//   ask NETFN CMD [BYTE...]           the daemon's exchange: send, then up to 5
//                                     receives 100 ms apart, skipping answers
//                                     with another message id
//   send NETFN CMD [BYTE...]          send only
// Bytes are two hex digits each; the list ends at the next other word (an
// optional ";" ends it too).
//   recv CAPACITY                     one RECEIVE_MSG_TRUNC
//   sleep SECONDS                     nanosleep, with times() around it
//   alarm SECONDS                     alarm, then pause until SIGALRM
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/ipmi.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/times.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

int g_fd = -1;
long g_msgid = 1;
volatile sig_atomic_t g_alarmed = 0;

void OnAlarm(int) { g_alarmed = 1; }

ipmi_system_interface_addr Bmc() {
  ipmi_system_interface_addr a;
  memset(&a, 0, sizeof a);
  a.addr_type = IPMI_SYSTEM_INTERFACE_ADDR_TYPE;
  a.channel = IPMI_BMC_CHANNEL;
  return a;
}

std::string Hex(const unsigned char* p, unsigned n) {
  std::string s;
  char b[4];
  for (unsigned i = 0; i < n; ++i) {
    snprintf(b, sizeof b, i ? ":%02x" : "%02x", p[i]);
    s += b;
  }
  return s.empty() ? "-" : s;
}

int Send(int netfn, int cmd, std::vector<unsigned char>& data, long msgid) {
  ipmi_system_interface_addr addr = Bmc();
  ipmi_req req;
  memset(&req, 0, sizeof req);
  req.addr = reinterpret_cast<unsigned char*>(&addr);
  req.addr_len = sizeof addr;
  req.msgid = msgid;
  req.msg.netfn = static_cast<unsigned char>(netfn);
  req.msg.cmd = static_cast<unsigned char>(cmd);
  req.msg.data_len = static_cast<unsigned short>(data.size());
  req.msg.data = data.data();
  int r = ioctl(g_fd, IPMICTL_SEND_COMMAND, &req);
  return r < 0 ? errno : 0;
}

// One receive; prints nothing. Returns the ioctl result and fills the record.
int Recv(ipmi_recv* recv, ipmi_system_interface_addr* from, unsigned char* buf, unsigned cap) {
  memset(recv, 0, sizeof *recv);
  recv->addr = reinterpret_cast<unsigned char*>(from);
  recv->addr_len = sizeof *from;
  recv->msg.data = buf;
  recv->msg.data_len = static_cast<unsigned short>(cap);
  return ioctl(g_fd, IPMICTL_RECEIVE_MSG_TRUNC, recv);
}

void Ask(int netfn, int cmd, std::vector<unsigned char>& data) {
  long id = g_msgid++;
  int err = Send(netfn, cmd, data, id);
  if (err != 0) {
    printf("ask send-err=%d\n", err);
    return;
  }
  int stale = 0;
  for (int attempt = 1; attempt <= 5; ++attempt) {
    timespec pause = {0, 100 * 1000 * 1000};
    nanosleep(&pause, nullptr);
    for (;;) {
      ipmi_recv recv;
      ipmi_system_interface_addr from;
      unsigned char buf[272];
      int r = Recv(&recv, &from, buf, sizeof buf);
      if (r < 0 && errno != EMSGSIZE) break;
      if (recv.msgid != id) {
        ++stale;
        continue;
      }
      printf("reply msgid=%ld netfn=0x%02x cmd=0x%02x type=%d attempt=%d stale=%d data=%s\n", id,
             recv.msg.netfn, recv.msg.cmd, recv.recv_type, attempt, stale,
             Hex(buf, recv.msg.data_len).c_str());
      return;
    }
  }
  printf("noreply msgid=%ld stale=%d\n", id, stale);
}

bool IsByte(const char* s) { return strlen(s) == 2 && isxdigit(s[0]) && isxdigit(s[1]); }

long Ticks() { return static_cast<long>(times(nullptr)); }

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  for (int i = 1; i < argc; ++i) {
    std::string step = argv[i];
    if (step == "open") {
      g_fd = open("/dev/ipmi0", O_RDWR | O_CLOEXEC);
      printf("open fd=%d err=%d\n", g_fd, g_fd < 0 ? errno : 0);
    } else if (step == "close") {
      printf("close r=%d\n", close(g_fd));
    } else if (step == "closeall") {
      for (int fd = getdtablesize(); fd >= 3; --fd) close(fd);
      printf("closeall\n");
    } else if ((step == "ask" || step == "send") && i + 2 < argc) {
      int netfn = static_cast<int>(strtol(argv[i + 1], nullptr, 16));
      int cmd = static_cast<int>(strtol(argv[i + 2], nullptr, 16));
      std::vector<unsigned char> data;
      for (i += 3; i < argc && IsByte(argv[i]); ++i)
        data.push_back(static_cast<unsigned char>(strtol(argv[i], nullptr, 16)));
      if (i < argc && strcmp(argv[i], ";") != 0) --i;  // the next step
      if (step == "ask") {
        Ask(netfn, cmd, data);
      } else {
        long id = g_msgid++;
        printf("send msgid=%ld err=%d\n", id, Send(netfn, cmd, data, id));
      }
    } else if (step == "recv" && i + 1 < argc) {
      unsigned cap = static_cast<unsigned>(atoi(argv[++i]));
      ipmi_recv recv;
      ipmi_system_interface_addr from;
      unsigned char buf[272];
      int r = Recv(&recv, &from, buf, cap);
      bool got = r >= 0 || errno == EMSGSIZE;  // else the record is left as it was
      printf("recv r=%d err=%d type=%d msgid=%ld netfn=0x%02x cmd=0x%02x len=%u data=%s\n", r,
             r < 0 ? errno : 0, recv.recv_type, recv.msgid, recv.msg.netfn, recv.msg.cmd,
             recv.msg.data_len, got ? Hex(buf, recv.msg.data_len).c_str() : "-");
    } else if (step == "sleep" && i + 1 < argc) {
      timespec want = {atoi(argv[++i]), 0};
      long before = Ticks();
      int r = nanosleep(&want, nullptr);
      printf("sleep r=%d ticks=%ld hz=%ld\n", r, Ticks() - before, sysconf(_SC_CLK_TCK));
    } else if (step == "alarm" && i + 1 < argc) {
      signal(SIGALRM, OnAlarm);
      long before = Ticks();
      alarm(static_cast<unsigned>(atoi(argv[++i])));
      while (!g_alarmed) pause();
      printf("alarm ticks=%ld hz=%ld\n", Ticks() - before, sysconf(_SC_CLK_TCK));
    } else {
      printf("bad step %s\n", argv[i]);
      return 2;
    }
  }
  return 0;
}
