#include "app/start_up.h"

#include "app/main_window.h"
#include "platform/wininet.h"
#include "runtime/window/window.h"

int StartUp() {
  // The HTTP layer's global set-up must run before any worker thread exists.
  InternetStartUp();
  InitWindowServices();
  LoadWindow(MainWindow);
  RunMessageLoop();
  return 0;
}
