// The Windows entry of the loading program.
#include <windows.h>

int LoaderMain();

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return LoaderMain(); }
