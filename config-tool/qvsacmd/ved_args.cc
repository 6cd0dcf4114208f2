#include "ved_args.h"

#include <cstring>

namespace {

struct OptionName {
  const char* text;
  VedCommand command;
  size_t operands;
};

constexpr OptionName kOptions[] = {
    {"--getcomponentlist", VedCommand::kGetComponentList, 0},
    {"--getconfigdefine", VedCommand::kGetConfigDefine, 1},
    {"--getconfigdata", VedCommand::kGetConfigData, 1},
    {"--setconfigdata", VedCommand::kSetConfigData, 2},
};

}  // namespace

VedCommandLine VedClassifyArguments(int argc, const char* const* argv) {
  VedCommandLine line;
  bool only_operands = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!only_operands && std::strcmp(arg, "--") == 0) {
      only_operands = true;
      continue;
    }
    if (!only_operands && std::strncmp(arg, "--", 2) == 0) {
      if (line.command == VedCommand::kNone) {
        for (const OptionName& option : kOptions) {
          if (std::strcmp(arg, option.text) == 0) line.command = option.command;
        }
      }
      if (std::strcmp(arg, "--help") == 0) line.help = true;
      continue;
    }
    if (!only_operands && arg[0] == '-') continue;
    if (line.operands.size() < kVedMaxOperands) line.operands.emplace_back(arg);
    ++line.operand_count;
  }
  return line;
}

size_t VedOperandsNeeded(VedCommand command) {
  for (const OptionName& option : kOptions) {
    if (option.command == command) return option.operands;
  }
  return 0;
}
