#include "harness/syslog_capture.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tw::test {

SyslogMessage ParseSyslogDatagram(const std::string& raw) {
  SyslogMessage m;
  m.raw = raw;
  size_t close = raw.find('>');
  if (raw.empty() || raw[0] != '<' || close == std::string::npos) {
    m.text = raw;
    return m;
  }
  m.priority = std::stoi(raw.substr(1, close - 1));
  // glibc's time stamp "%h %e %T " is always 16 characters.
  size_t head = close + 1 + 16;
  if (head > raw.size()) head = raw.size();
  size_t colon = raw.find(": ", head);
  if (colon == std::string::npos) {
    m.text = raw.substr(head);
    return m;
  }
  std::string tag = raw.substr(head, colon - head);
  m.text = raw.substr(colon + 2);
  size_t open = tag.rfind('[');
  if (!tag.empty() && tag.back() == ']' && open != std::string::npos) {
    m.pid = std::stoi(tag.substr(open + 1, tag.size() - open - 2));
    tag.resize(open);
  }
  m.ident = tag;
  return m;
}

SyslogCapture::SyslogCapture(const std::string& path) : path_(path) {
  ::unlink(path_.c_str());
  fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path_.c_str(), sizeof addr.sun_path - 1);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::pipe2(wakeFd_, O_CLOEXEC) != 0) {
    throw std::runtime_error("syslog capture: cannot bind " + path_ + ": " + std::strerror(errno));
  }
  int big = 4 << 20;
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
  reader_ = std::thread([this] { ReadLoop(); });
}

SyslogCapture::~SyslogCapture() {
  char c = 0;
  (void)!::write(wakeFd_[1], &c, 1);
  reader_.join();
  ::close(fd_);
  ::close(wakeFd_[0]);
  ::close(wakeFd_[1]);
  ::unlink(path_.c_str());
}

void SyslogCapture::ReadLoop() {
  std::vector<char> buf(65536);
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents & POLLIN) {
      ssize_t n = ::recv(fd_, buf.data(), buf.size(), MSG_DONTWAIT);
      if (n >= 0) {
        SyslogMessage m = ParseSyslogDatagram(std::string(buf.data(), static_cast<size_t>(n)));
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back(std::move(m));
        arrived_.notify_all();
      }
      continue;  // drain before looking at the stop pipe
    }
    if (fds[1].revents & POLLIN) return;
  }
}

std::vector<SyslogMessage> SyslogCapture::Take(size_t n, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  arrived_.wait_for(lock, timeout, [&] { return received_.size() >= n; });
  std::vector<SyslogMessage> out;
  out.swap(received_);
  return out;
}

std::vector<SyslogMessage> SyslogCapture::TakeAll(std::chrono::milliseconds quiet) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    size_t before = received_.size();
    arrived_.wait_for(lock, quiet, [&] { return received_.size() != before; });
    if (received_.size() == before) break;
  }
  std::vector<SyslogMessage> out;
  out.swap(received_);
  return out;
}

}  // namespace tw::test
