#include "ved_usage.h"

void VedPrintUsage(FILE* stream) {
  std::fputs(
      "Usage: qvsacmd --getcomponentlist\n"
      "       qvsacmd --getconfigdefine COMPONENT\n"
      "       qvsacmd --getconfigdata COMPONENT\n"
      "       qvsacmd --setconfigdata COMPONENT DATA\n"
      "       qvsacmd --help\n"
      "\n"
      "  --getcomponentlist  list the components of the assist directory, with the\n"
      "                      description and display text of their definitions\n"
      "  --getconfigdefine   print the component's definition document\n"
      "  --getconfigdata     print the component's data document\n"
      "  --setconfigdata     set the items that DATA (a data document text such as\n"
      "                      \"<config><Item>value</Item></config>\") holds, keep the\n"
      "                      others, keep the previous document as a backup ending in\n"
      "                      \"old\", and notify the component\n"
      "\n"
      "A \"--\" argument makes every later argument an operand; other arguments that\n"
      "start with \"-\" and are not options are ignored.\n"
      "Exit status: 0 on success, 1 on any error (\"ERROR:...\" on standard error).\n",
      stream);
}
