#include "http/http_request.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "http/cookies.h"
#include "http/headers.h"
#include "http/url.h"
#include "platform/wininet.h"

namespace {

// Verbs, by `method`.
const char* const kVerbs[] = {"GET",     "POST",   "HEAD",  "PUT",
                              "OPTIONS", "DELETE", "TRACE", "CONNECT"};

const char kDefaultUserAgent[] =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
const char kHttpVersion[] = "HTTP/1.1";
const char kPlainProxyPrefix[] = "http=";

// Every certificate is accepted: revocation, unknown issuer, wrong usage,
// wrong name, wrong date, redirects between http and https, weak signature.
constexpr DWORD kAcceptAnyCertificate = 0x0001F380;

constexpr std::int32_t kReadBufferBytes = 1024;
constexpr std::int32_t kHeaderTextBytes = 5000;

// The usual request headers, appended in this order after a CR LF when the
// header text does not hold the searched text anywhere (any letter case).
struct Completion {
  const char* searched;
  const char* line;
  bool followed_by_address;  // the line ends with the requested address
  bool post_only;
};
const Completion kCompletions[] = {
    {"Accept:", "Accept: */*", false, false},
    {"Referer:", "Referer: ", true, false},
    {"Accept-Language:", "Accept-Language: zh-cn", false, false},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded", false,
     true},
};

std::atomic<std::int32_t> gBodyLimit{std::numeric_limits<std::int32_t>::max()};

// WinINet takes an empty text as a null pointer.
const char* OrNull(const Text& t) { return t.empty() ? nullptr : t.c_str(); }

// The agent: the default, or what the header text names.
Text AgentFor(const Text& headers) {
  if (FindText(headers, "User-Agent:", 1, true) == -1) return kDefaultUserAgent;
  Text agent = TrimBoth(TextBetween(headers + "\r\n", "User-Agent:", "\r\n"));
  if (agent.empty()) agent = HeaderValue(headers);
  return agent;
}

}  // namespace

Bytes HttpRequest(const Text& address, std::int32_t method,
                  const Text& postText, Text* cookies, Text* receivedCookies,
                  Text* extraHeaders, Text* responseHeaders, bool noRedirect,
                  Bytes* postBytes, const Text& proxy, bool mergeCookies,
                  bool completeHeaders, bool normalizeNames) {
  // Omitted in/out and out arguments are private to the call.
  Text ownHeaders, ownResponse, ownReceived;
  Bytes ownPost;
  Text& headers = extraHeaders != nullptr ? *extraHeaders : ownHeaders;
  Text& response = responseHeaders != nullptr ? *responseHeaders : ownResponse;
  Text& received = receivedCookies != nullptr ? *receivedCookies : ownReceived;
  Bytes& post = postBytes != nullptr ? *postBytes : ownPost;

  if (normalizeNames) headers = NormalizeHeaderNames(headers);
  if (method < 0 || method > 7) method = 0;
  const char* verb = kVerbs[method];
  const bool secure = ToLower(TextLeft(address, 8)) == "https://";
  const Text agent = AgentFor(headers);

  HINTERNET internet;
  if (proxy.empty()) {
    internet = InternetOpenA(OrNull(agent), INTERNET_OPEN_TYPE_DIRECT, nullptr,
                             nullptr, 0);
  } else {
    const Text proxyText = secure ? proxy : kPlainProxyPrefix + proxy;
    internet = InternetOpenA(OrNull(agent), INTERNET_OPEN_TYPE_PROXY,
                             proxyText.c_str(), "", 0);
  }
  if (internet == nullptr) return Bytes();

  const Text host = UrlHost(address);
  // The port is a 16-bit number to WinINet; larger values wrap as they would
  // there.
  HINTERNET connection = InternetConnectA(
      internet, OrNull(host), static_cast<INTERNET_PORT>(UrlPort(address)),
      nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  if (connection == nullptr) {
    InternetCloseHandle(internet);
    return Bytes();
  }

  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE;
  if (cookies != nullptr) flags |= INTERNET_FLAG_NO_COOKIES;
  if (noRedirect) flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
  flags |=
      secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

  const Text path = UrlPath(address);
  HINTERNET request = HttpOpenRequestA(
      connection, verb, OrNull(path), kHttpVersion, nullptr, nullptr, flags, 0);
  if (request == nullptr) {
    InternetCloseHandle(connection);
    InternetCloseHandle(internet);
    return Bytes();
  }

  DWORD security = kAcceptAnyCertificate;
  InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &security,
                     sizeof security);

  if (completeHeaders) {
    if (headers.empty()) headers = "Accept: */*";
    for (const Completion& c : kCompletions) {
      if (c.post_only && method != 1) continue;
      if (FindText(headers, c.searched, 1, true) != -1) continue;
      headers += "\r\n";
      headers += c.line;
      if (c.followed_by_address) headers += address;
    }
  }

  const Text cookieList = cookies != nullptr ? *cookies : Text();
  if (!cookieList.empty()) {
    headers += "\r\n";
    if (FindText(cookieList, "Cookie:") == -1) headers += "Cookie: ";
    headers += cookieList;
  }

  const DWORD headersLength = static_cast<DWORD>(TextLength(headers));
  if (method == 0) {
    HttpSendRequestA(request, OrNull(headers), headersLength, nullptr, 0);
  } else {
    if (post.empty()) post = ToBytes(postText);
    HttpSendRequestA(request, OrNull(headers), headersLength,
                     post.empty() ? nullptr : post.data(),
                     static_cast<DWORD>(BytesLength(post)));
  }

  // The body, 1024 bytes at a time through one buffer, until a read gives
  // nothing; a body reaching the largest length Bytes can state is cut there.
  Bytes buffer = BlankBytes(kReadBufferBytes);
  const std::size_t limit = static_cast<std::size_t>(
      std::max<std::int32_t>(gBodyLimit.load(std::memory_order_relaxed), 0));
  Bytes body;
  DWORD count = 0;
  do {
    InternetReadFile(request, buffer.data(), kReadBufferBytes, &count);
    const std::size_t take = std::min<std::size_t>(
        std::min<std::size_t>(count, buffer.size()), limit - body.size());
    body.insert(body.end(), buffer.begin(), buffer.begin() + take);
  } while (count != 0 && body.size() < limit);

  // What HttpQueryInfoA leaves in 5000 blanks, up to the zero it wrote; a
  // block that does not fit leaves the blanks.
  response = BlankText(kHeaderTextBytes);
  DWORD length = kHeaderTextBytes;
  HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, response.data(), &length,
                 nullptr);
  const auto zero = response.find('\0');
  if (zero != Text::npos) response.resize(zero);

  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);

  received = HarvestCookies(response);
  if (mergeCookies && cookies != nullptr) {
    received = MergeCookies(cookies, &received);
  }
  return body;
}

// The cookie pairs of the response's "Set-Cookie: " lines, separated by "; ".
Text HarvestCookies(const Text& responseHeaders) {
  Text received;
  for (const Text& line : SplitText(responseHeaders, "\r\n")) {
    if (TextBefore(line, ": ") != "Set-Cookie") continue;
    if (FindText(line, ";") != -1) {
      received += TrimBoth(TextBetween(line, "Set-Cookie:", ";"));
    } else {
      received +=
          TrimBoth(ReplaceText(line, "Set-Cookie:", Text(), 1, -1, false));
    }
    received += "; ";
  }
  return TextLeft(received, TextLength(received) - 2);
}

void SetBodyLimitForTesting(std::int32_t limit) {
  gBodyLimit.store(limit > 0 ? limit : std::numeric_limits<std::int32_t>::max(),
                   std::memory_order_relaxed);
}
