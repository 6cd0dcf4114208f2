#include "QVSM_MessageCatalogue.h"

namespace {

constexpr WdtChannel T = WDT_CHANNEL_TRACE;
constexpr WdtChannel D = WDT_CHANNEL_DIRECT;
constexpr WdtChannel S = WDT_CHANNEL_SYSLOG;

// In the order of WdtMsgId; a static_assert below keeps the two in step.
const WdtMessage kCatalogue[] = {
    {"ZELKW-011-K", T, 30, "%s : Enter."},
    {"ZELKW-012-K", T, 30, "%s : Exit."},
    {"ZELKW-013-E", T, 0, "%s : The function %s is failed."},
    {"ZELKW-014-I", T, 20, "%s : The function %s is successfully executed."},
    {"ZELKW-015-E", T, 0,
     "%s : Exception has been occurred in the function. Thus exits from the function."},
    {"ZELKW-016-K", T, 30, "%s : This copy is already running as a daemon."},
    {"ZELKW-017-I", T, 20,
     "%s : The service has been started successfully as it been daemonized properly."},
    {"ZELKW-018-E", T, 0, "%s : Daemonize unsuccessful, service not started."},
    {"ZELKW-019-I", T, 20, "%s : Fork() is successful."},
    {"ZELKW-020-E", T, 0, "%s : Fork() call failed and exits."},
    {"ZELKW-021-I", T, 20, "%s : Parent process exits after creating the child process."},
    {"ZELKW-022-I", T, 20, "%s : Creating child process for starting of the daemon."},
    {"ZELKW-023-E", T, 0, "%s : The lock file is not opened."},
    {"ZELKW-024-I", T, 20, "%s : The lock file is opened successfully."},
    {"ZELKW-025-I", T, 20, "%s : The lock file is successfully locked."},
    {"ZELKW-026-E", T, 0,
     "%s : The lock file is not locked since already a copy of daemon is running."},
    {"ZELKW-028-I", T, 20, "%s : The service has been stopped successfully."},
    {"ZELKW-029-K", T, 30, "%s : %s the command (0x%x) to hardware."},
    {"ZELKW-030-K", T, 30, "%s : Request to IPMI sent : %d."},
    {"ZELKW-031-K", T, 30, "%s : Request msgid is 0x%02x."},
    {"ZELKW-032-K", T, 30, "%s : The value of req.msg.netfn is 0x%02x."},
    {"ZELKW-033-K", T, 30, "%s : The value of req.msg.data_len is 0x%02x."},
    {"ZELKW-034-K", T, 30, "%s : The value of data[%d] is 0x%02x."},
    {"ZELKW-035-K", T, 30, "%s : The value of data length is 0x%02x."},
    {"ZELKW-036-I", T, 20, "%s : The value of request data message command 0x%02x."},
    {"ZELKW-037-E", T, 0,
     "%s : Failed to %s IPMI command. The return value is %d and error number is %d."},
    {"ZELKW-038-I", T, 20, "%s : %s the timer is executed successfully."},
    {"ZELKW-039-I", T, 20, "%s : Retrying to get the response from IPMI. Retry count is %d."},
    {"ZELKW-040-I", T, 20, "%s : WDT Timer is successfully stopped."},
    {"ZELKW-041-E", T, 0, "%s : Failed to stop the WDT Timer."},
    {"ZELKW-042-I", T, 20, "%s : %s thread created successfully."},
    {"ZELKW-043-E", T, 0, "%s : Operation Thread is not created."},
    {"ZELKW-044-E", T, 0, "%s : Terminating the Operation Thread."},
    {"ZELKW-045-E", T, 0, "%s : Operation Thread is terminated."},
    {"ZELKW-046-E", T, 0, "%s : Operation Thread is not running yet."},
    {"ZELKW-048-K", T, 30, "%s : Main Thread waits for any signal to arrive."},
    {"ZELKW-049-K", T, 30, "%s : Wait has been moved, since the signal is arrived."},
    {"ZELKW-050-I", T, 20, "%s : setsid() is successfully executed."},
    {"ZELKW-051-E", T, 0, "%s : setsid() is failed."},
    {"ZELKW-052-K", T, 30, "%s : Value of %s in the settings XML is %d."},
    {"ZELKW-053-K", T, 30, "%s : Value of %s in the settings XML is %s."},
    {"ZELKW-054-E", T, 0, "%s : Function input parameters are invalid."},
    {"ZELKW-055-E", T, 0,
     "%s : Problem in setting the priority of the process, continuing with the default "
     "priority."},
    {"ZELKW-056-I", T, 20, "%s : Highest priority is set for the process."},
    {"ZELKW-057-E", D, 0, "Skipped to output over 2147483646 messages."},
    {"ZELKW-058-E", D, 0, "Skipped to output %d messages."},
    {"ZELKW-059-K", D, 30, "WDT_LoggerThread : Enter."},
    {"ZELKW-060-K", D, 30, "WDT_LoggerThread : Exit."},
    {"ZELKW-061-I", S, 6, "Vorlan Monitor : The service started successfully."},
    {"ZELKW-062-I", S, 6, "Vorlan Monitor : The service stopped successfully."},
    {"ZELKW-063-I", S, 6, "Vorlan Monitor : The timer is successfully set and started."},
    {"ZELKW-064-I", S, 6, "Vorlan Monitor : The timer is successfully stopped."},
    {"ZELKW-065-E", S, 3, "Vorlan Monitor : There is no response from the hardware."},
    {"ZELKW-066-I", S, 6, "Vorlan Monitor : The response recovered from the hardware."},
    {"ZELKW-067-E", S, 3, "Vorlan Monitor : Stopping the timer has been failed."},
    {"ZELKW-068-K", T, 30, "%s : The %s value is adjusted to %d."},
    {"ZELKW-109-I", S, 6, "Vorlan Monitor : The timer is disabled."},
    {"ZELKW-110-I", S, 6, "Vorlan Monitor : The timer is not started."},
    {"ZELKW-113-E", T, 0, "%s : The IPMI call has not returned."},
    {"ZELKW-116-E", T, 0, "%s : The length of the IPMI response data is 0."},
    {"ZELKW-118-W", T, 10,
     "%s : The invalid value(s) are found. All values are adjusted to default."},
    {"ZELKW-119-W", S, 5,
     "Vorlan Monitor : Some parameters are invalid. All parameters are used to default value."},
};

static_assert(sizeof kCatalogue / sizeof kCatalogue[0] == WDT_MSG_COUNT,
              "one catalogue row per identifier");

}  // namespace

const WdtMessage& WDT_GetMessage(WdtMsgId id) { return kCatalogue[id]; }
