#include "app/start_up.h"

#include "app/main_window.h"
#include "platform/memory.h"
#include "platform/wininet.h"
#include "runtime/window/window.h"

int StartUp() {
  // The allocator's and the HTTP layer's global set-up must run before any
  // worker thread exists.
  MemoryStartUp();
  InternetStartUp();
  InitWindowServices();
  LoadWindow(MainWindow);
  RunMessageLoop();
  return 0;
}
