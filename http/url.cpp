#include "http/url.h"

#include "http/headers.h"

Text UrlHost(const Text& address, bool keepPort) {
  Text host = ToLower(address);
  if (TextRight(host, 1) != "/") host += "/";
  if (TextLeft(host, 8) == "https://") {
    host = TextBetween(host, "https://", "/");
  } else {
    // "http://" anywhere counts, even inside a query: an address without a
    // scheme that carries one further on is read from there.
    if (FindText(host, "http://") < 1) host = "http://" + host;
    host = TextBetween(host, "http://", "/");
  }
  if (!keepPort) {
    std::int32_t colon = FindText(host, ":");
    if (colon > 0) host = TextLeft(host, colon - 1);
  }
  return host;
}

std::int32_t UrlPort(const Text& address) {
  Text host = UrlHost(address, true);
  if (FindText(host, ":") > 0) {
    std::int32_t colon = FindTextReverse(host, ":");
    return ToInt(TextRight(host, TextLength(host) - colon));
  }
  return ToLower(TextLeft(address, 5)) == "https" ? 443 : 80;
}

Text UrlPath(const Text& address) {
  Text host = UrlHost(address);
  // The host is looked for after the scheme when there is one: a host such
  // as "t" or "http" would otherwise be found inside the scheme itself, and
  // the path would begin at the scheme's "//". Without a scheme the search
  // starts at position 1, so an address that only carries "http://" further
  // on is cut after the first place its host appears.
  std::int32_t from = 1;
  Text scheme = ToLower(TextLeft(address, 8));
  if (scheme == "https://") {
    from = 9;
  } else if (TextLeft(scheme, 7) == "http://") {
    from = 8;
  }
  std::int32_t at = FindText(address, host, from, true);
  std::int32_t slash = FindText(address, "/", at < 1 ? from : at);
  if (slash < 1) return "/";
  return TextRight(address, TextLength(address) - slash + 1);
}
