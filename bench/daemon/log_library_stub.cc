// Stands in for the trace and syslog libraries in the event log benchmark:
// each put writes its text into a file, always at its start (a write of a
// record's cost without a growing file), and BenchStubStall(1) holds every
// put until BenchStubStall(0), as a trace file on a frozen file system would.
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cstring>

#include "vesk2_syslog.h"
#include "vesk2_trace.h"

namespace {

pthread_mutex_t g_gate = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t g_opened = PTHREAD_COND_INITIALIZER;
bool g_stalled = false;
int g_file = -1;
char g_instance[64];  // any non-null handle

void Write(const char* text) {
  pthread_mutex_lock(&g_gate);
  while (g_stalled) pthread_cond_wait(&g_opened, &g_gate);
  pthread_mutex_unlock(&g_gate);
  if (g_file < 0) g_file = open("/tmp/tw-bench-daemon-trace", O_WRONLY | O_CREAT, 0600);
  (void)!pwrite(g_file, text, std::strlen(text), 0);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void BenchStubStall(int on) {
  pthread_mutex_lock(&g_gate);
  g_stalled = on != 0;
  pthread_cond_broadcast(&g_opened);
  pthread_mutex_unlock(&g_gate);
}

int ZELKWSYM_CreateInstance(VESKTraceObject** out, const tagVESK_LOGFILE_SPEC*, const char*) {
  *out = reinterpret_cast<VESKTraceObject*>(g_instance);
  return 0;
}
int ZELKWSYM_ChInstanceFileAttr(VESKTraceObject*, int) { return 0; }
int ZELKWSYM_SetInstanceLogLevel(VESKTraceObject*, int) { return 0; }
int ZELKWSYM_DeleteInstance(VESKTraceObject*) { return 0; }
int ZELKWSYM_PutInstanceWithId(VESKTraceObject*, int, const char*, const char* text) {
  Write(text);
  return 0;
}
void ZELKWSYM_OpenSysLog(const char*, int, int) {}
int ZELKWSYM_SetEventSrcName(const char*) { return 0; }
int ZELKWSYM_PutToSysLogWithTid(int, const char*, const char* text) {
  Write(text);
  return 0;
}
int ZELKWSYM_CloseSysLog(void) { return 0; }

}  // extern "C"
