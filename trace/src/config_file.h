// The library's configuration file: only its "MsgString" entry (the swap
// message template) is used.
#pragma once

#include <cstddef>

namespace vesk {

inline constexpr char kDefaultCnfPath[] = "/opt/quorrel/VESKLib2/etc/D002vesk2.cnf";
inline constexpr char kOldCnfPath[] = "/opt/quorrel/VESKLib/etc/D001vesk.cnf";
inline constexpr char kCnfEnv[] = "VESK2_TRACECNF_FILE";

class VESKConfigInf2 {
 public:
  VESKConfigInf2() { loadCnf(); }
  void loadCnf();
  const char* msgString() const { return szMsgString; }

 private:
  char szMsgString[256];
};

// Lexical absolute form of an absolute path ("." and ".." resolved, empty
// components dropped) into out; -1 when path is not absolute or the result
// does not fit in size bytes.
int VESK_GetAbsolutePath(const char* path, char* out, size_t size);

// The configuration file in force: the default, or the one the environment
// names when that is a regular file other than the default and the old one.
// out needs 4097 bytes.
void ChooseCnfFile(char* out);

}  // namespace vesk
