// The event log's message buffer: a fixed ring of 480 entries between the
// threads that raise messages and the logger thread that writes them. When
// it is full the oldest entry goes and is counted, so a producer never waits
// for the writer; the count is handed to the writer with the next entry.
#pragma once

#include <pthread.h>

#include <climits>
#include <cstddef>

enum WdtLogKind {
  WDT_LOG_TRACE = 1,   // to the trace instance
  WDT_LOG_SYSLOG = 2,  // to syslog
};

// What the get hands out: always NUL-terminated.
struct WdtLogEntry {
  int kind;
  int level;  // trace level, or syslog importance
  char id[23];
  char text[304];
};

class WdtLogRing {
 public:
  static constexpr int kEntries = 480;
  static constexpr size_t kIdBytes = 22;
  static constexpr size_t kTextBytes = 303;
  static constexpr int kDroppedMax = INT_MAX;  // the count stops there

  WdtLogRing() = default;
  WdtLogRing(const WdtLogRing&) = delete;
  WdtLogRing& operator=(const WdtLogRing&) = delete;

  // Copies the message in (identifier cut to 22 bytes, text to 303), dropping
  // the oldest entry when the ring is full, and wakes the writer (which
  // waits only on an empty ring). `len` is
  // the text's length. Null identifier or text: nothing.
  void Put(int kind, int level, const char* id, const char* text, size_t len);

  // With the mutex held. Takes the oldest entry into the one entry that the
  // writer owns (*out; null when the ring is empty) and returns the number of
  // entries dropped since the last get (then reset), or -1 when the ring was
  // empty and nothing was dropped.
  int Get(const WdtLogEntry** out);

  // Entries waiting; takes the mutex.
  int Stored();

  pthread_mutex_t* Mutex() { return &m_mtxBuffer; }
  // Waits for a put or a stop; the mutex must be held.
  void Wait() { pthread_cond_wait(&m_condBuffer, &m_mtxBuffer); }
  void Wake() { pthread_cond_signal(&m_condBuffer); }

 private:
  struct Slot {
    int kind;
    int level;
    unsigned short idLen;
    unsigned short textLen;
    char id[kIdBytes];
    char text[kTextBytes];
  };

  // Statically initialised: messages may be raised before the event log is
  // set up (a failing first settings read), and a mutex that another thread
  // may hold must never be initialised again.
  pthread_mutex_t m_mtxBuffer = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t m_condBuffer = PTHREAD_COND_INITIALIZER;
  int m_nRead = 0;
  int m_nWrite = 0;
  int m_nStored = 0;
  int m_nDropped = 0;
  Slot m_stEntries[kEntries] = {};
  WdtLogEntry m_stOut = {};
};

// The daemon's one message buffer.
WdtLogRing& WDT_LogBuffer();
