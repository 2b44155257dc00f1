// A picture of the whole machine, to show that an install and its uninstall leave it as it was: every key
// and value of HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER as the system's registry editor exports them,
// and every folder and file of drive C: with its size and a checksum of its contents.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace e2e {

// One line per key ("HKEY_...\key"), per value ("HKEY_...\key|"name"=data") and per folder ("C:\...\"),
// file ("C:\... size checksum") or link ("C:\... -> link"; a link is not followed: Wine's folders of the
// user lead into the host's home). The registry export is written into Scratch.
std::set<std::string> MachineSnapshot(const std::string& scratch);

// The lines of one snapshot that the other lacks ("gone: ..." and "new: ..."), one a line, leaving out
// those that begin with one of Allowed and those that Wine changes by itself (kept in machine_snapshot.cpp).
std::string MachineDifference(const std::set<std::string>& before, const std::set<std::string>& after,
                              const std::vector<std::string>& allowed);

}  // namespace e2e
