// The description of MainWindow: its settings, its five controls in list
// order, their bindings, and the built-in face picture and icon. Read by
// StartUp on the main thread; constant for the life of the process.
#ifndef YK_APP_MAIN_WINDOW_H_
#define YK_APP_MAIN_WINDOW_H_

#include "runtime/window/window.h"

// How property writes name the window and its controls (GBK bytes).
inline constexpr const char kMainWindow[] = "MainWindow";
inline constexpr const char kCloseControl[] = "\xB9\xD8\xB1\xD5";  // 关闭
inline constexpr const char kMinimizeControl[] =
    "\xD7\xEE\xD0\xA1\xBB\xAF";                                    // 最小化
inline constexpr const char kTouchControl[] = "\xB4\xA5\xBF\xD8";  // 触控
inline constexpr const char kFrameControl[] = "\xB8\xA3\xBF\xF2";  // 福框
inline constexpr const char kUiControl[] = "UI";

extern const WindowDescription MainWindow;

// The built-in artwork: the face picture (PNG) and the window icon (ICO).
extern const unsigned char FacePicture[];
extern const unsigned long FacePicture_size;
extern const unsigned char WindowIcon[];
extern const unsigned long WindowIcon_size;

#endif  // YK_APP_MAIN_WINDOW_H_
