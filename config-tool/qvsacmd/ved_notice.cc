#include "ved_notice.h"

#include "ved_library.h"
#include "ved_read.h"

namespace {

struct SignalName {
  const char* keyword;
  int number;
};

// Numbers as the component files mean them (x86 and ARM Linux numbering),
// passed on to killall as written.
constexpr SignalName kSignals[] = {
    {"SIGUSR1", 10}, {"SIGUST2", 12}, {"SIGUSR2", 12}, {"SIGINT", 2}, {"SIGHUP", 1},
};

bool MemberText(vop_data_t* structure, const char* name, uint32_t type, std::string* text) {
  vop_data_t* member = nullptr;
  if (VedFirstMember(structure, name, &member) != 0) return false;
  if (member->type != type) return false;
  const char* value = type == VOP_TYPE_STRING ? member->value.string : member->value.enumeration;
  if (value == nullptr) return false;
  *text = value;
  return true;
}

}  // namespace

int VedSignalNumber(const std::string& keyword) {
  for (const SignalName& s : kSignals) {
    if (keyword == s.keyword) return s.number;
  }
  return 0;
}

VedNotice vedReadNotice(vop_config_t* component) {
  VedNotice notice;
  vop_data_t* record = nullptr;
  if (VedFirstRecord(component, "notice", &record) != 0) return notice;
  if (record->type != VOP_TYPE_STRUCTURE) return notice;
  std::string action;
  if (!MemberText(record, "action", VOP_TYPE_ENUMERATION, &action)) return notice;
  if (action == "execute") {
    std::string command;
    if (!MemberText(record, "command", VOP_TYPE_STRING, &command)) return notice;
    notice.target = command;
    notice.has_arguments = MemberText(record, "arguments", VOP_TYPE_STRING, &notice.arguments);
    notice.kind = kVedNoticeExecute;
  } else if (action == "signal") {
    std::string procname, signal;
    if (!MemberText(record, "procname", VOP_TYPE_STRING, &procname)) return notice;
    if (!MemberText(record, "signal", VOP_TYPE_ENUMERATION, &signal)) return notice;
    const int number = VedSignalNumber(signal);
    if (number == 0) return notice;
    notice.target = procname;
    notice.signal = number;
    notice.kind = kVedNoticeSignal;
  }
  return notice;
}

std::string VedShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += "'";
  return quoted;
}

std::vector<std::string> VedNoticeArgv(const VedNotice& notice) {
  switch (notice.kind) {
    case kVedNoticeExecute:
      if (!notice.has_arguments) return {notice.target};
      return {"/bin/sh", "-c", VedShellQuote(notice.target) + " " + notice.arguments};
    case kVedNoticeSignal:
      // "--" keeps a name that starts with "-" from being read as an option.
      return {"killall", "-" + std::to_string(notice.signal), "--", notice.target};
    default:
      return {};
  }
}
