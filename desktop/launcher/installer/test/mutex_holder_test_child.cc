// Stands in for a front end that dies holding the installer mutex: takes
// the mutex that its one argument names and ends without releasing it. The
// mutex is then abandoned for every process that still holds a handle to
// it; a test that wants it to outlive the child opens it first.

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2)
    return 2;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, argv[1]);
  if (!mutex || WaitForSingleObject(mutex, 30000) != WAIT_OBJECT_0)
    return 1;
  return 0;
}
