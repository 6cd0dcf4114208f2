// The usage text of qvsacmd (--help).
#pragma once

#include <cstdio>

void VedPrintUsage(FILE* stream);
