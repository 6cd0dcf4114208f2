// qvsacmd: lists the components installed in its tree, prints a component's
// definition or data document, or replaces a component's settings and
// notifies the component.
#include <cstdio>
#include <new>

#include "ved_args.h"
#include "ved_commands.h"
#include "ved_paths.h"
#include "ved_usage.h"

namespace {

// Printed texts are data: written as they are, never used as a format.
bool Print(const VedBuffer& out) {
  const std::string& text = out.text();
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
    return false;
  }
  return std::fflush(stdout) == 0;
}

uint32_t Dispatch(const VedCommandLine& line, VedBuffer* out) {
  switch (line.command) {
    case VedCommand::kGetComponentList:
      return VED_GetComponentList(out);
    case VedCommand::kGetConfigDefine:
      return VED_GetConfigDefine(line.operands[0], out);
    case VedCommand::kGetConfigData:
      return VED_GetConfigData(line.operands[0], out);
    case VedCommand::kSetConfigData:
      return VED_SetConfigData(line.operands[0], line.operands[1]);
    case VedCommand::kNone:
      break;
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const VedCommandLine line = VedClassifyArguments(argc, argv);
  if (line.command == VedCommand::kNone && line.help) {
    VedPrintUsage(stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (line.command == VedCommand::kNone || line.operand_count != VedOperandsNeeded(line.command)) {
    std::fputs("ERROR:option invalid.\n", stderr);
    return 1;
  }
  // Every command needs the tree's library, found from the program's path.
  const char* program = argc > 0 ? argv[0] : "qvsacmd";
  if (VED_SetPaths(program) != 0) {
    std::fprintf(stderr, "ERROR:don't find the installation directory of %s.\n", program);
    return 1;
  }
  VedBuffer out;
  try {
    if (Dispatch(line, &out) != 0) return 1;
  } catch (const std::bad_alloc&) {
    std::fputs("ERROR:not enough memory.\n", stderr);
    return 1;
  }
  if (!Print(out)) {
    std::fputs("ERROR:don't write standard output.\n", stderr);
    return 1;
  }
  return 0;
}
