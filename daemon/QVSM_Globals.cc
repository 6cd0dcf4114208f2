#include "QVSM_Globals.h"

std::atomic<int> g_vServiceStopArrived{0};
std::atomic<int> g_vFileWritten{0};
std::atomic<int> g_vAlarmLoggingRequired{0};
std::atomic<int> g_vIoctlCallStarted{0};
std::atomic<int> g_vAnySignalArrivedAtMain{0};
std::atomic<int> g_vConfigurationFileIsRead{0};
std::atomic<int> g_vThreadExitIsRequested{0};
std::atomic<int> g_vDisableBMCTimer{0};
std::atomic<int> g_nOpthreadRunning{0};
std::atomic<int> g_vServiceStopArrivedForLoggerThread{0};
std::atomic<int> g_nXmlLogLevel{0};
std::atomic<int> g_nInitializeFromDaemonize{1};

pthread_t g_OpThreadTid = 0;
pthread_mutex_t g_mtxSettingsMutex;
