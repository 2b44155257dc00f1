/* Stands in for the installation program in the loading program's tests: writes its own path and its
   command line, one to a line, to the file named by TVK_LOADER_PROBE_OUT. The file appears whole (it is
   written under another name first), so a test can wait for it. It ends with the exit code named by
   TVK_LOADER_PROBE_EXIT, or 0. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  char out[MAX_PATH], temp[MAX_PATH + 8], self[MAX_PATH];
  const char* line = GetCommandLineA();
  DWORD written;
  HANDLE file;
  DWORD length = GetEnvironmentVariableA("TVK_LOADER_PROBE_OUT", out, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  length = GetModuleFileNameA(NULL, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  lstrcpyA(temp, out);
  lstrcatA(temp, ".tmp");
  file = CreateFileA(temp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 2;
  WriteFile(file, self, (DWORD)lstrlenA(self), &written, NULL);
  WriteFile(file, "\n", 1, &written, NULL);
  WriteFile(file, line, (DWORD)lstrlenA(line), &written, NULL);
  CloseHandle(file);
  if (!MoveFileA(temp, out)) return 2;
  {
    char code[16];
    DWORD exitCode = 0;
    length = GetEnvironmentVariableA("TVK_LOADER_PROBE_EXIT", code, sizeof code);
    if (length > 0 && length < sizeof code)
      for (const char* c = code; *c >= '0' && *c <= '9'; ++c) exitCode = exitCode * 10 + (DWORD)(*c - '0');
    return (int)exitCode;
  }
}
