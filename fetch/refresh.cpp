#include "fetch/refresh.h"

#include <cstdint>

#include "app/main_window.h"
#include "fetch/address_list.h"
#include "fetch/random_pick.h"
#include "http/http_request.h"
#include "runtime/window/window.h"

void RefreshPicture() {
  Text address;
  {
    // Drawn afresh on every pick; nothing is cached. The list's working
    // copy is gone before the request starts, so a worker waiting on the
    // network holds no more than its address.
    const Text list = ToText(AddressList);
    std::int32_t n;
    {
      const Text numberText = RandomNumberText(1, kPickDrawBound);
      n = ToInt(numberText);
    }
    address = LineOfText(list, n);
  }

  // A draw past the last line gives the empty address; HttpRequest answers
  // it, like any failure, with an empty body, and the frame is still shown.
  Bytes body = HttpRequest(address);
  Text().swap(address);

  WritePicture(kMainWindow, kFrameControl, body);
  Bytes().swap(body);
  WriteVisible(kMainWindow, kFrameControl, true);
}
