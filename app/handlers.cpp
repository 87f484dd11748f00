#include "app/handlers.h"

#include "app/main_window.h"
#include "fetch/refresh.h"
#include "platform/process.h"
#include "runtime/window/window.h"

void OnWindowCreated() {}

void OnWindowFirstActivated() { StartThread(RefreshThreadMain); }

void OnTouchPressed(std::int32_t, std::int32_t, std::int32_t) {
  StartThread(RefreshThreadMain);
}

void OnMinimizeReleased(std::int32_t, std::int32_t, std::int32_t) {
  WritePlacement(kMainWindow, kPlacementMinimized);
}

void OnCloseReleased(std::int32_t, std::int32_t, std::int32_t) { EndProcess(); }

void OnFramePressed(std::int32_t, std::int32_t, std::int32_t) {}
void OnFrameReleased(std::int32_t, std::int32_t, std::int32_t) {}
void OnFrameDoubleClicked(std::int32_t, std::int32_t, std::int32_t) {}

void RefreshThreadMain() { RefreshPicture(); }

bool EndProcess(std::optional<std::int32_t> processId) {
  const DWORD id =
      processId ? static_cast<DWORD>(*processId) : GetCurrentProcessId();
  HANDLE handle = OpenProcess(PROCESS_TERMINATE, 0, id);
  const bool ok = TerminateProcess(handle, 0) == 1;
  CloseHandle(handle);
  return ok;
}
