// RefreshPicture: the whole of one picture refresh — pick a random line of the
// built-in address list, fetch it, and show the body in the frame 福框 of
// MainWindow. Runs on a worker thread of its own; many may run at once.
#ifndef YK_FETCH_REFRESH_H_
#define YK_FETCH_REFRESH_H_

void RefreshPicture();

#endif  // YK_FETCH_REFRESH_H_
