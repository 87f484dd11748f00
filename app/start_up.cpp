#include "app/start_up.h"

#include "app/main_window.h"
#include "runtime/window/window.h"

int StartUp() {
  InitWindowServices();
  LoadWindow(MainWindow);
  RunMessageLoop();
  return 0;
}
