// StartUp: the program's entry routine, on the main thread. Starts the
// window services, loads MainWindow and runs the message loop until the
// window is gone.
#ifndef YK_APP_START_UP_H_
#define YK_APP_START_UP_H_

// Returns 0 once the message loop has ended.
int StartUp();

#endif  // YK_APP_START_UP_H_
