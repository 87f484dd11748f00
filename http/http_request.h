// HttpRequest: one HTTP or HTTPS exchange through the WinINet functions,
// returning the body and handing back the response headers and cookies.
// Called by the fetch worker, on whichever thread calls it; several calls may
// run at once, each on its own handles and texts.
#ifndef YK_HTTP_HTTP_REQUEST_H_
#define YK_HTTP_HTTP_REQUEST_H_

#include <cstdint>

#include "runtime/text.h"

// method: 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE,
// 7 CONNECT; anything else GET. A null pointer is an omitted argument; only
// for `cookies` does omitted differ from empty: a given list (even an empty
// one) turns the process's cookie store off for this request and is merged
// with what the server set. A failed step yields an empty body.
Bytes HttpRequest(const Text& address, std::int32_t method = 0,
                  const Text& postText = Text(), Text* cookies = nullptr,
                  Text* receivedCookies = nullptr, Text* extraHeaders = nullptr,
                  Text* responseHeaders = nullptr, bool noRedirect = false,
                  Bytes* postBytes = nullptr, const Text& proxy = Text(),
                  bool mergeCookies = true, bool completeHeaders = true,
                  bool normalizeNames = true);

// The cookie pairs that a raw response header block sets, "; " between them:
// from each line whose name before ": " is exactly "Set-Cookie", the pair up
// to its first ";" (or the whole value), trimmed.
Text HarvestCookies(const Text& responseHeaders);

// For tests only: the most body bytes one call keeps (at most and by default
// the largest length a Bytes value may state); the rest is not read.
void SetBodyLimitForTesting(std::int32_t limit);

#endif  // YK_HTTP_HTTP_REQUEST_H_
