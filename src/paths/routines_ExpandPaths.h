// Where the well-known folders of the target machine are: the shell folders and Program Files from the
// registry, each with a computed fallback, the database engine's DLL folder and the main archive.
// Results carry no trailing backslash, except where said.
#pragma once

#include <string>

std::string StartMenuDir();     // fallback: <Windows>\Startmen
std::string ProgramsMenuDir();  // fallback: <StartMenuDir>\Programs
std::string DesktopDir();       // fallback: <Windows>\Desktop
std::string StartupDir();       // fallback: <Windows>\Startup
std::string ProgramFilesDir();  // fallback: <drive of the current directory>\Program Files
std::string CommonFilesDir();   // fallback: <drive of the current directory>\Program Files\Common Files

// The first directory of the database engine's DLLPath setting, as stored (a trailing backslash kept).
std::string BDEDLLPath();

// The archive of the distribution in SourceDir: "files.1", or the self-extractor's file when the program
// was started with -e. Raises IEInstall when -e named no file.
std::string MainArchivePath(const std::string& sourceDir, bool selfExtracting, const std::string& selfExtractorName);
