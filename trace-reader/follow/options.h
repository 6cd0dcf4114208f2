// Command line of tickward-trace-follow.
#pragma once

#include <string>

#include "ring_follower.h"

namespace follow {

struct Options {
  FollowSettings settings;
  std::string prefix;
  std::string library = TW_READER_LIB_PATH;
  bool help = false;
  bool version = false;
};

extern const char kHelpText[];

// Parses argv. False with a message for the operator on a usage error.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);

}  // namespace follow
