// The two forms of the answer: one screen for people, JSON for fleet tooling.
#pragma once

#include <string>

#include "status.h"

std::string TextReport(const Status& status, Verdict verdict);
std::string JsonReport(const Status& status, Verdict verdict);
