// The program's entry point: hands over to StartUp and ends with its result.
// The process ends with _Exit: worker threads may still be in a transfer,
// and must not run into globals that static destructors have torn down.
#include <cstdio>
#include <cstdlib>

#include "app/start_up.h"
#include "runtime/text.h"

int main() {
  InstallAllocationFaultHandler();
  const int code = StartUp();
  std::fflush(nullptr);
  std::_Exit(code);
}
