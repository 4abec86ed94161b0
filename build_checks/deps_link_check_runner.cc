#include <cstdio>

extern "C" __declspec(dllimport) bool CheckDependencies();

int main() {
  if (!CheckDependencies()) {
    std::fprintf(stderr, "a dependency gave a wrong result\n");
    return 1;
  }
  return 0;
}
