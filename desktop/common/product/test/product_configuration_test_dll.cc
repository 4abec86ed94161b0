// A stand-in for the automated-test library: a module that carries only a
// product configuration, for tests whose executable carries none.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE /* instance */,
                    DWORD /* reason */,
                    LPVOID /* reserved */) {
  return TRUE;
}
