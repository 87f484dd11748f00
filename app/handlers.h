// The handlers bound to MainWindow's events, and the routines they use. All
// handlers run on the main thread and return at once; RefreshThreadMain is
// the body of each refresh thread.
#ifndef YK_APP_HANDLERS_H_
#define YK_APP_HANDLERS_H_

#include <cstdint>
#include <optional>

void OnWindowCreated();
void OnWindowFirstActivated();
void OnTouchPressed(std::int32_t x, std::int32_t y, std::int32_t keys);
void OnMinimizeReleased(std::int32_t x, std::int32_t y, std::int32_t keys);
void OnCloseReleased(std::int32_t x, std::int32_t y, std::int32_t keys);
void OnFramePressed(std::int32_t x, std::int32_t y, std::int32_t keys);
void OnFrameReleased(std::int32_t x, std::int32_t y, std::int32_t keys);
void OnFrameDoubleClicked(std::int32_t x, std::int32_t y, std::int32_t keys);

// Runs one refresh of the picture, on its own thread.
void RefreshThreadMain();

// Ends the process `processId`, the own process when it is left out (then
// at once, exit code 0, no clean-up). True when the termination succeeded.
bool EndProcess(std::optional<std::int32_t> processId = std::nullopt);

#endif  // YK_APP_HANDLERS_H_
