// Thin wrappers over system queries. Failures raise EAPIRoutines with the message given.
#pragma once

#include <string>

// 0 Win32s, 1 the Windows 95 family, 2 Windows NT, 3 Windows NT 3.5x, 4 any other platform.
// "Could not get information about the current version of Windows"
int WindowsPlatform();
// A new unique "bat....tmp" file in the temporary directory; with Keep false only its name remains.
// "Cannot create a temporary file"
std::string TempFileName(bool keep);
// A new, empty file in the temporary directory whose name ends in Extension (".bat", ".1"), made by
// this call alone: two calls never share a name, even when the first file is still being written.
// "Cannot create a temporary file"
std::string NewTempFile(const std::string& extension);
// "Could not retrieve the system directroy from windows"
std::string SystemDirectory();
// "Could not retrieve the windows directory from windows"
std::string WindowsDirectory();
// The short (8.3) form of Path; Path itself when the system cannot shorten it.
std::string ShortPathName(const std::string& path);
// Creates Dir and every missing parent; failures below the top are not reported.
// Raises Exception "Unable to create directory" for an empty Dir.
void CreateDirectoryPath(const std::string& dir);
