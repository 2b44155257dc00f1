#include "os/os.h"

namespace os {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  for (;;) {
    while (i < commandLine.size() && static_cast<unsigned char>(commandLine[i]) <= ' ') ++i;
    if (i >= commandLine.size()) break;
    std::string part;
    bool quoted = false;
    for (; i < commandLine.size() && (quoted || static_cast<unsigned char>(commandLine[i]) > ' '); ++i) {
      if (commandLine[i] == '"') quoted = !quoted;
      else part += commandLine[i];
    }
    parts.push_back(std::move(part));
  }
  return parts;
}

}  // namespace os
