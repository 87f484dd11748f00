// The program's entry point: hands over to StartUp and ends with its result.
#include "runtime/text.h"

int main() {
  InstallAllocationFaultHandler();
  return 0;
}
