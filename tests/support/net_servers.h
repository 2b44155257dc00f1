// The HTTP and FTP servers of the network tests (the net_servers fixture): where they serve from, and
// whether they are there for this build tree.
#pragma once

#include <string>

namespace tvktest {

// The servers' folder as Windows sees it (<build>\netroot), or empty outside a build tree.
std::string NetRoot();
// Empty when the servers on 127.0.0.1 serve this tree's folder; otherwise why not, for a skip message.
// Scratch is a folder the check may write into.
std::string NetServersMissing(const std::string& scratch);

}  // namespace tvktest
