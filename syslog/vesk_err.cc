#include "vesk_err.h"

#include <cerrno>

namespace vesk_sys {

int VeskErr::GetLastError() { return errno; }

}  // namespace vesk_sys
