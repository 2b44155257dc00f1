// <windows.h> for the os/win32 files, without the A/W macros whose names the os interface shares.
#pragma once

#include <windows.h>

#undef DeleteFile
#undef CopyFile
#undef MoveFile
#undef CreateDirectory
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef WritePrivateProfileString
#undef MessageBox
#undef RegDeleteKey

#include <string>

#include "os/os.h"

namespace os::win32 {

// FILETIME (UTC) to a local TDateTime and back.
TDateTime FileTimeToDateTime(const FILETIME& utc);
bool DateTimeToFileTime(TDateTime local, FILETIME& utc);

}  // namespace os::win32
