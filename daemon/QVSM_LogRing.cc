#include "QVSM_LogRing.h"

#include <cstring>

namespace {

WdtLogRing fs_stLogMsgBuf;

size_t Cut(const char* text, size_t limit) {
  const void* nul = std::memchr(text, '\0', limit);
  return nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - text) : limit;
}

}  // namespace

WdtLogRing& WDT_LogBuffer() { return fs_stLogMsgBuf; }

void WdtLogRing::Put(int kind, int level, const char* id, const char* text, size_t len) {
  if (id == nullptr || text == nullptr) return;
  if (len > kTextBytes) len = kTextBytes;
  const size_t idLen = Cut(id, kIdBytes);
  pthread_mutex_lock(&m_mtxBuffer);
  // The writer waits only after finding the ring empty, under this mutex;
  // into a ring that holds entries nobody waits, and the wake would be a
  // wasted system call on the caller's time.
  const bool wasEmpty = m_nStored == 0;
  if (m_nStored == kEntries) {
    m_nRead = (m_nRead + 1) % kEntries;
    --m_nStored;
    if (m_nDropped < kDroppedMax) ++m_nDropped;
  }
  Slot& slot = m_stEntries[m_nWrite];
  slot.kind = kind;
  slot.level = level;
  slot.idLen = static_cast<unsigned short>(idLen);
  slot.textLen = static_cast<unsigned short>(len);
  std::memcpy(slot.id, id, idLen);
  std::memcpy(slot.text, text, len);
  ++m_nStored;
  m_nWrite = (m_nWrite + 1) % kEntries;
  if (wasEmpty) pthread_cond_signal(&m_condBuffer);
  pthread_mutex_unlock(&m_mtxBuffer);
}

int WdtLogRing::Get(const WdtLogEntry** out) {
  *out = nullptr;
  if (m_nStored == 0 && m_nDropped == 0) return -1;
  if (m_nStored > 0) {
    const Slot& slot = m_stEntries[m_nRead];
    m_stOut.kind = slot.kind;
    m_stOut.level = slot.level;
    std::memcpy(m_stOut.id, slot.id, slot.idLen);
    m_stOut.id[slot.idLen] = '\0';
    std::memcpy(m_stOut.text, slot.text, slot.textLen);
    m_stOut.text[slot.textLen] = '\0';
    *out = &m_stOut;
    --m_nStored;
    m_nRead = (m_nRead + 1) % kEntries;
  }
  const int dropped = m_nDropped;
  m_nDropped = 0;
  return dropped;
}

int WdtLogRing::Stored() {
  pthread_mutex_lock(&m_mtxBuffer);
  const int stored = m_nStored;
  pthread_mutex_unlock(&m_mtxBuffer);
  return stored;
}
