// Under Windows a tool's host is Windows itself: its working directory and paths need no translation.
#include "os/os.h"

namespace os {

bool EnterHostDirectory() { return true; }

std::string PathFromHost(std::string path) { return path; }

}  // namespace os
