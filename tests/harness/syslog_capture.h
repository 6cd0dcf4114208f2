// Owns /dev/log inside the test sandbox for its lifetime and collects every
// datagram that syslog(3) sends there, parsed into its parts.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tw::test {

struct SyslogMessage {
  int priority = -1;  // facility | severity, as sent
  std::string ident;  // may be empty
  int pid = -1;       // -1 when the sender did not ask for LOG_PID
  std::string text;
  std::string raw;  // the whole datagram
  int Severity() const { return priority & 7; }
  int Facility() const { return priority & ~7; }
};

// Parses one datagram in the form "<PRI>Mmm dd hh:mm:ss IDENT[PID]: TEXT".
SyslogMessage ParseSyslogDatagram(const std::string& raw);

class SyslogCapture {
 public:
  explicit SyslogCapture(const std::string& path = "/dev/log");
  ~SyslogCapture();
  SyslogCapture(const SyslogCapture&) = delete;
  SyslogCapture& operator=(const SyslogCapture&) = delete;

  // Waits until at least n messages arrived (or the timeout passed) and
  // returns everything received so far, emptying the capture.
  std::vector<SyslogMessage> Take(size_t n,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Returns what arrived until no datagram came for `quiet`.
  std::vector<SyslogMessage> TakeAll(
      std::chrono::milliseconds quiet = std::chrono::milliseconds(200));

 private:
  void ReadLoop();

  std::string path_;
  int fd_ = -1;
  int wakeFd_[2] = {-1, -1};
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<SyslogMessage> received_;
  std::thread reader_;
};

}  // namespace tw::test
