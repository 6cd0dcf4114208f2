// Command-line classification of qvsacmd: which command was asked for and
// its operands.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum class VedCommand {
  kNone,
  kGetComponentList,
  kGetConfigDefine,
  kGetConfigData,
  kSetConfigData
};

// Only this many operands are kept; all are counted.
constexpr size_t kVedMaxOperands = 8;

struct VedCommandLine {
  VedCommand command = VedCommand::kNone;
  bool help = false;                  // "--help" seen as an option
  std::vector<std::string> operands;  // the first kVedMaxOperands operands
  size_t operand_count = 0;           // every operand
};

// Classifies argv[1..argc-1] one by one: "--" alone makes every later
// argument an operand; "--word" is an option (the first one naming a command
// counts, others are ignored); any other "-..." is ignored; the rest are
// operands.
VedCommandLine VedClassifyArguments(int argc, const char* const* argv);

// Number of operands the command takes (0 for kNone).
size_t VedOperandsNeeded(VedCommand command);
