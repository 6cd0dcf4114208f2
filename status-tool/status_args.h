// The command line of tickward-status.
#pragma once

#include <stddef.h>
#include <stdio.h>

#include <string>

struct StatusOptions {
  bool help = false;
  bool json = false;
  size_t lines = 10;  // trace lines to show
  std::string error;  // set when the command line is not understood
};

StatusOptions ParseStatusArgs(int argc, char** argv);
void PrintStatusUsage(FILE* out);
