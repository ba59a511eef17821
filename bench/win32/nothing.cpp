// A Windows program that does nothing: the floor of starting and ending one under Wine.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
