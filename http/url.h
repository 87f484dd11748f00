// Taking an address apart for HttpRequest: the server name, the port and the
// path with its query. Pure functions over their arguments; any thread.
#ifndef YK_HTTP_URL_H_
#define YK_HTTP_URL_H_

#include <cstdint>

#include "runtime/text.h"

// The host part in lower case; cut before its first colon unless keepPort.
Text UrlHost(const Text& address, bool keepPort = false);
// The port: as written after the host's last colon, else 443 for an address
// whose first five bytes are "https" (any case), else 80.
std::int32_t UrlPort(const Text& address);
// The path with the query, beginning with "/"; never empty.
Text UrlPath(const Text& address);

#endif  // YK_HTTP_URL_H_
