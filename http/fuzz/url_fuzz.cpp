// UrlHost, UrlPort and UrlPath on any address: the path always begins with
// "/", and the host without its port is the start of the host with it.
#include "http/fuzz/fuzz_pieces.h"
#include "http/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  Text address = FuzzPieces(data, size, 1)[0];
  Text host = UrlHost(address);
  Text hostWithPort = UrlHost(address, true);
  FuzzCheck(hostWithPort.compare(0, host.size(), host) == 0);
  Text path = UrlPath(address);
  FuzzCheck(!path.empty() && path[0] == '/');
  FuzzCheck(path.size() <= address.size() || path == "/");
  (void)UrlPort(address);
  return 0;
}
