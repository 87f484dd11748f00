// The Windows Internet functions over libcurl. Each request handle owns a
// private multi handle that only the reading thread drives: the body is
// pulled from the socket as InternetReadFile asks for it, and the transfer is
// paused while the caller has not taken what arrived, so memory does not grow
// with the body. Redirects are followed here, one transfer per leg, so that
// the method rules of 301/302/303 and 307/308 hold for every verb.
#include "platform/wininet.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;

// WinINet's default time-outs.
constexpr DWORD kConnectTimeoutMs = 60000;
constexpr DWORD kSendTimeoutMs = 30000;
constexpr DWORD kReceiveTimeoutMs = 30000;

std::atomic<DWORD> gConnectTimeoutMs{0};
std::atomic<DWORD> gSendTimeoutMs{0};
std::atomic<DWORD> gReceiveTimeoutMs{0};

DWORD TimeoutMs(const std::atomic<DWORD>& override_ms, DWORD standard) {
  const DWORD ms = override_ms.load(std::memory_order_relaxed);
  return ms != 0 ? ms : standard;
}

// Redirects followed for one request before the send gives up.
constexpr int kMaxRedirects = 10;
// The header lines of one leg, interim responses included; a server that
// sends more is cut off and the send fails.
constexpr std::size_t kMaxHeaderBytes = 256 * 1024;
// Body bytes held for the reader before the transfer is paused.
constexpr std::size_t kStagingLimit = 128 * 1024;
constexpr long kReceiveBufferBytes = 64 * 1024;

// ---- process-wide state ----------------------------------------------------

std::once_flag gStartOnce;
CURLSH* gCookieShare = nullptr;
std::array<std::mutex, CURL_LOCK_DATA_LAST> gShareLocks;

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) {
  gShareLocks[static_cast<std::size_t>(data)].lock();
}

void UnlockShare(CURL*, curl_lock_data data, void*) {
  gShareLocks[static_cast<std::size_t>(data)].unlock();
}

// ---- text helpers ----------------------------------------------------------

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() &&
         EqualNoCase(s.substr(0, prefix.size()), prefix);
}

std::string TrimSpaces(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

// A header line's name: the text before its first colon, trimmed.
std::string HeaderName(const std::string& line) {
  const auto colon = line.find(':');
  return colon == std::string::npos ? std::string()
                                    : TrimSpaces(line.substr(0, colon));
}

bool IsDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(),
                                   [](char c) { return c >= '0' && c <= '9'; });
}

// A host name as DNS allows it (labels of 1 to 63 letters, digits, '-' or '_',
// at most 253 bytes), or an IPv6 literal, which comes back in brackets for a
// URL. Anything else gives the empty text: no name lookup is tried for it.
std::string UrlHostName(const std::string& server) {
  if (server.find(':') != std::string::npos) {
    const bool literal =
        server.size() <= 45 &&
        std::all_of(server.begin(), server.end(), [](char c) {
          return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' ||
                 c == '.';
        });
    return literal ? "[" + server + "]" : std::string();
  }
  if (server.empty() || server.size() > 253) return std::string();
  std::size_t label = 0;
  for (char c : server) {
    if (c == '.') {
      if (label == 0) return std::string();
      label = 0;
      continue;
    }
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!ok || ++label > 63) return std::string();
  }
  return server;
}

// 127.0.0.0/8 or ::1 written as numbers: WinINet never sends these through a
// proxy.
bool IsLoopbackLiteral(const std::string& host) {
  if (host == "[::1]" || host == "::1") return true;
  if (host.rfind("127.", 0) != 0) return false;
  int dots = 0;
  for (char c : host) {
    if (c == '.') {
      ++dots;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  return dots == 3;
}

// The object name as a URL path: bytes a URL cannot carry as they are (blanks,
// controls, bytes of 0x80 and above) are percent-encoded; everything else,
// "." and ".." segments included, goes out as given.
std::string EncodePath(const std::string& object) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string path;
  if (object.empty() || object[0] != '/') path += '/';
  for (unsigned char c : object) {
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' ||
        c == '\\' || c == '^' || c == '`' || c == '{' || c == '|' || c == '}') {
      path += '%';
      path += kHex[c >> 4];
      path += kHex[c & 15];
    } else {
      path += static_cast<char>(c);
    }
  }
  return path;
}

// A method name must be an HTTP token, so that it cannot break the request
// line.
bool IsToken(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return c > 0x20 && c < 0x7F &&
           std::strchr("()<>@,;:\\\"/[]?={}", c) == nullptr;
  });
}

// ---- proxy notation --------------------------------------------------------

struct ProxyChoice {
  bool usable = true;   // false: the entry for this scheme is malformed
  std::string address;  // "host:port"; empty for a direct connection
};

// Picks the proxy for `scheme` from WinINet's notation: entries separated by
// blanks (or semicolons), each "host:port" for every scheme or
// "scheme=host:port" (the value may carry "http://") for one. The first entry
// for the scheme wins over a bare one; with neither, the address goes direct.
ProxyChoice ChooseProxy(const std::string& list, const std::string& scheme) {
  std::string for_scheme, bare;
  std::size_t i = 0;
  while (i < list.size()) {
    const auto end = list.find_first_of(" \t;", i);
    const std::string entry =
        list.substr(i, end == std::string::npos ? std::string::npos : end - i);
    i = end == std::string::npos ? list.size() : end + 1;
    if (entry.empty()) continue;
    const auto equals = entry.find('=');
    if (equals == std::string::npos) {
      if (bare.empty()) bare = entry;
    } else if (for_scheme.empty() &&
               EqualNoCase(entry.substr(0, equals), scheme)) {
      for_scheme = entry.substr(equals + 1);
    }
  }
  std::string value = !for_scheme.empty() ? for_scheme : bare;
  ProxyChoice choice;
  if (value.empty()) return choice;
  if (StartsWithNoCase(value, "http://")) value = value.substr(7);
  if (!value.empty() && value.back() == '/') value.pop_back();
  std::string host = value, port = "80";
  const auto colon = value.rfind(':');
  if (colon != std::string::npos) {
    host = value.substr(0, colon);
    port = value.substr(colon + 1);
  }
  const std::string url_host = UrlHostName(host);
  const long number = IsDigits(port) && port.size() <= 5 ? std::stol(port) : 0;
  if (url_host.empty() || number < 1 || number > 65535) {
    choice.usable = false;
    return choice;
  }
  choice.address = url_host + ":" + std::to_string(number);
  return choice;
}

// ---- handles ---------------------------------------------------------------

enum class Kind { kInternet, kConnect, kRequest };

// One leg of an exchange: a request and its response headers; the body of
// the final leg is pulled through `staging`.
struct Transfer {
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  bool attached = false;  // easy is in multi

  // What is sent on this leg.
  std::string url;
  std::string method;
  bool secure = false;
  bool send_body = false;

  // The response as it arrives.
  std::string block;  // header lines of the current response, each + CR LF
  long status = 0;
  std::string location;
  bool headers_done = false;
  std::size_t header_bytes = 0;

  std::vector<std::uint8_t> staging;
  std::size_t staging_pos = 0;
  bool paused = false;

  bool done = false;
  CURLcode result = CURLE_OK;

  Clock::time_point last_progress;
  curl_off_t uploaded = 0;

  Transfer() = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() {
    if (attached) curl_multi_remove_handle(multi, easy);
    if (easy != nullptr) curl_easy_cleanup(easy);
    if (multi != nullptr) curl_multi_cleanup(multi);
    curl_slist_free_all(headers);
  }

  std::size_t Pending() const { return staging.size() - staging_pos; }
};

struct InternetObject {
  Kind kind = Kind::kInternet;
  InternetObject* parent = nullptr;
  std::vector<InternetObject*> children;

  // Internet handle (copied into each request).
  std::string agent;
  bool has_agent = false;
  bool use_proxy = false;
  std::string proxy;
  // Connection handle (copied into each request).
  std::string server;
  INTERNET_PORT port = 0;
  // Request handle.
  std::string verb;
  std::string object;
  std::string referrer;
  std::string accept;
  DWORD flags = 0;
  DWORD security_flags = 0;
  std::vector<std::uint8_t> body;
  std::vector<std::string>
      lines;  // the caller's header lines, as curl takes them
  std::unique_ptr<Transfer> transfer;
  bool sent = false;  // the last send reached a final response
};

std::mutex gHandlesMutex;
std::unordered_set<InternetObject*> gHandles;

HINTERNET Register(std::unique_ptr<InternetObject> object,
                   InternetObject* parent) {
  InternetObject* raw = object.release();
  std::lock_guard<std::mutex> lock(gHandlesMutex);
  raw->parent = parent;
  if (parent != nullptr) parent->children.push_back(raw);
  gHandles.insert(raw);
  return raw;
}

InternetObject* Find(HINTERNET handle, Kind kind) {
  std::lock_guard<std::mutex> lock(gHandlesMutex);
  auto* object = static_cast<InternetObject*>(handle);
  if (gHandles.count(object) == 0 || object->kind != kind) return nullptr;
  return object;
}

// Takes the object and everything beneath it out of the table; the caller
// deletes them.
void Unregister(InternetObject* object,
                std::vector<std::unique_ptr<InternetObject>>* closed) {
  for (InternetObject* child : object->children) {
    child->parent = nullptr;
    Unregister(child, closed);
  }
  object->children.clear();
  if (object->parent != nullptr) {
    auto& siblings = object->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), object),
                   siblings.end());
    object->parent = nullptr;
  }
  gHandles.erase(object);
  closed->emplace_back(object);
}

// ---- curl callbacks --------------------------------------------------------

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t total = size * count;
  t->last_progress = Clock::now();
  if (t->headers_done) return total;  // trailers of a chunked body
  t->header_bytes += total;
  if (t->header_bytes > kMaxHeaderBytes) return 0;  // ends the transfer
  std::string line(data, total);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.pop_back();
  }
  if (line.rfind("HTTP/", 0) == 0) {
    t->block.clear();
    t->location.clear();
    const auto space = line.find(' ');
    t->status = space == std::string::npos
                    ? 0
                    : std::strtol(line.c_str() + space + 1, nullptr, 10);
  } else if (line.empty()) {
    if (t->status >= 100 && t->status < 200) {
      t->block.clear();  // an interim response: the real one follows
      t->status = 0;
      return total;
    }
    t->headers_done = true;
    return total;
  } else if (EqualNoCase(HeaderName(line), "Location")) {
    t->location = TrimSpaces(line.substr(line.find(':') + 1));
  }
  t->block += line;
  t->block += "\r\n";
  return total;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t total = size * count;
  t->last_progress = Clock::now();
  if (t->Pending() >= kStagingLimit) {
    t->paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (t->staging_pos == t->staging.size()) {
    t->staging.clear();
    t->staging_pos = 0;
  }
  t->staging.insert(t->staging.end(), data, data + total);
  return total;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t,
               curl_off_t ulnow) {
  auto* t = static_cast<Transfer*>(user);
  if (ulnow != t->uploaded) {
    t->uploaded = ulnow;
    t->last_progress = Clock::now();
  }
  return 0;
}

// ---- one leg ---------------------------------------------------------------

// Sets the easy handle up for the leg described by t->url and t->method.
// False when the leg cannot be sent at all (a malformed proxy entry).
bool ConfigureLeg(const InternetObject& r, Transfer* t) {
  // A fresh easy handle per leg: nothing of the last leg's options lingers.
  // Connections stay in the multi handle's cache and are reused from there.
  if (t->easy != nullptr) curl_easy_cleanup(t->easy);
  t->easy = curl_easy_init();
  CURL* e = t->easy;
  if (e == nullptr) return false;
  curl_slist_free_all(t->headers);
  t->headers = nullptr;

  CURLU* u = curl_url();
  char* host = nullptr;
  const bool parsed =
      curl_url_set(u, CURLUPART_URL, t->url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK;
  const std::string host_name = parsed ? host : "";
  curl_free(host);
  curl_url_cleanup(u);
  if (!parsed) return false;

  std::string proxy;
  if (r.use_proxy && !IsLoopbackLiteral(host_name)) {
    const ProxyChoice choice =
        ChooseProxy(r.proxy, t->secure ? "https" : "http");
    if (!choice.usable) return false;
    proxy = choice.address;
  }

  curl_easy_setopt(e, CURLOPT_URL, t->url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  // An empty proxy turns the environment's proxy variables off; an empty
  // no-proxy list keeps NO_PROXY from bypassing the proxy given.
  curl_easy_setopt(e, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(e, CURLOPT_NOPROXY, "");
  curl_easy_setopt(e, CURLOPT_PROXYTYPE, long(CURLPROXY_HTTP));
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  // The caller's lines go to the server only, never into a proxy's CONNECT.
  curl_easy_setopt(e, CURLOPT_HEADEROPT, long(CURLHEADER_SEPARATE));
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                   long(TimeoutMs(gConnectTimeoutMs, kConnectTimeoutMs)));

  const bool trust_any =
      (r.security_flags & SECURITY_FLAG_IGNORE_UNKNOWN_CA) != 0;
  const bool any_name =
      (r.security_flags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) != 0;
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, trust_any ? 0L : 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, any_name ? 0L : 2L);

  if ((r.flags & INTERNET_FLAG_NO_COOKIES) == 0 && gCookieShare != nullptr) {
    curl_easy_setopt(e, CURLOPT_SHARE, gCookieShare);
    curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");  // in memory only
  }

  if (r.has_agent) curl_easy_setopt(e, CURLOPT_USERAGENT, r.agent.c_str());

  // Request headers: the caller's lines, then what curl must not add of its
  // own ("Name:" removes a header curl would send).
  auto has = [&r](const char* name) {
    return std::any_of(r.lines.begin(), r.lines.end(),
                       [name](const std::string& line) {
                         return EqualNoCase(HeaderName(line), name);
                       });
  };
  std::vector<std::string> lines = r.lines;
  if (!r.referrer.empty() && !has("Referer")) {
    lines.push_back("Referer: " + r.referrer);
  }
  if (!r.accept.empty() && !has("Accept")) {
    lines.push_back("Accept: " + r.accept);
  } else if (!has("Accept")) {
    lines.emplace_back("Accept:");
  }
  lines.emplace_back("Expect:");
  lines.emplace_back("Proxy-Connection:");
  if (!has("Content-Type")) lines.emplace_back("Content-Type:");
  for (const std::string& line : lines) {
    t->headers = curl_slist_append(t->headers, line.c_str());
  }
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);

  const bool is_post = t->method == "POST";
  if (t->method == "HEAD") {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else if (t->send_body || is_post || t->method == "PUT") {
    // POST and PUT always state their length, 0 when there is no body.
    const auto* bytes = t->send_body ? r.body.data() : nullptr;
    const curl_off_t length = t->send_body ? curl_off_t(r.body.size()) : 0;
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, length);
    static const char kNoBody[] = "";
    curl_easy_setopt(
        e, CURLOPT_POSTFIELDS,
        bytes != nullptr ? static_cast<const void*>(bytes) : kNoBody);
    if (!is_post) curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, t->method.c_str());
  } else {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    if (t->method != "GET") {
      curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, t->method.c_str());
    }
  }

  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, t);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, t);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, t);

  t->block.clear();
  t->status = 0;
  t->location.clear();
  t->headers_done = false;
  t->header_bytes = 0;
  t->staging.clear();
  t->staging_pos = 0;
  t->paused = false;
  t->done = false;
  t->result = CURLE_OK;
  t->uploaded = 0;
  return true;
}

void Detach(Transfer* t) {
  if (t->attached) curl_multi_remove_handle(t->multi, t->easy);
  t->attached = false;
}

void CollectDone(Transfer* t) {
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(t->multi, &left)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == t->easy) {
      t->done = true;
      t->result = msg->data.result;
    }
  }
}

// Drives the transfer until `ready` holds or it ends. Each call starts its own
// time-out, as a blocking socket call would: the send time-out while the body
// is going out, the receive time-out after that. Before the connection stands
// curl's connect time-out applies.
template <typename Ready>
void RunUntil(Transfer* t, DWORD body_size, Ready ready) {
  t->last_progress = Clock::now();
  for (;;) {
    int running = 0;
    if (curl_multi_perform(t->multi, &running) != CURLM_OK) {
      t->done = true;
      t->result = CURLE_FAILED_INIT;
    }
    CollectDone(t);
    if (t->done || ready()) return;

    curl_off_t pretransfer = 0;
    curl_easy_getinfo(t->easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    const bool sending = t->uploaded < curl_off_t(body_size);
    const auto limit = std::chrono::milliseconds(
        sending ? TimeoutMs(gSendTimeoutMs, kSendTimeoutMs)
                : TimeoutMs(gReceiveTimeoutMs, kReceiveTimeoutMs));
    const auto idle = Clock::now() - t->last_progress;
    int wait_ms = 1000;
    if (pretransfer > 0 || t->header_bytes > 0) {
      if (idle >= limit) {
        Detach(t);
        t->done = true;
        t->result = CURLE_OPERATION_TIMEDOUT;
        return;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(limit - idle);
      wait_ms =
          static_cast<int>(std::clamp<long long>(left.count() + 1, 1, 1000));
    }
    curl_multi_poll(t->multi, nullptr, 0, wait_ms, nullptr);
  }
}

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 ||
         status == 308;
}

// The absolute address a Location value names, relative to `base`; empty
// when it is unusable or not http(s).
std::string ResolveLocation(const std::string& base,
                            const std::string& location) {
  CURLU* u = curl_url();
  std::string result;
  char* full = nullptr;
  char* scheme = nullptr;
  if (curl_url_set(u, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
      curl_url_set(u, CURLUPART_URL, location.c_str(), CURLU_URLENCODE) ==
          CURLUE_OK &&
      curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      (std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0) &&
      curl_url_set(u, CURLUPART_FRAGMENT, nullptr, 0) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_URL, &full, 0) == CURLUE_OK) {
    result = full;
  }
  curl_free(full);
  curl_free(scheme);
  curl_url_cleanup(u);
  return result;
}

// Runs the exchange of a request handle up to the final response's headers.
bool Exchange(InternetObject* r) {
  auto t = std::make_unique<Transfer>();
  t->multi = curl_multi_init();
  if (t->multi == nullptr) return false;

  const std::string host = UrlHostName(r->server);
  if (host.empty()) return false;
  t->secure = (r->flags & INTERNET_FLAG_SECURE) != 0;
  const INTERNET_PORT port = r->port != INTERNET_INVALID_PORT_NUMBER
                                 ? r->port
                                 : INTERNET_PORT(t->secure ? 443 : 80);
  t->url = std::string(t->secure ? "https://" : "http://") + host + ":" +
           std::to_string(port) + EncodePath(r->object);
  t->method = r->verb;
  t->send_body = !r->body.empty() && t->method != "HEAD";
  const bool follow = (r->flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0;
  const DWORD allowed = r->flags | r->security_flags;

  for (int redirects = 0;; ++redirects) {
    if (!ConfigureLeg(*r, t.get())) return false;
    if (curl_multi_add_handle(t->multi, t->easy) != CURLM_OK) return false;
    t->attached = true;
    const DWORD body_size = t->send_body ? DWORD(r->body.size()) : 0;
    RunUntil(t.get(), body_size, [&t] { return t->headers_done; });
    if (!t->headers_done) return false;
    if (!follow || !IsRedirect(t->status) || t->location.empty()) break;
    const std::string next = ResolveLocation(t->url, t->location);
    if (next.empty()) break;  // nowhere to go: this response is the answer
    if (redirects == kMaxRedirects) return false;
    const bool next_secure = next.rfind("https://", 0) == 0;
    if (next_secure && !t->secure &&
        (allowed & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS) == 0) {
      return false;
    }
    if (!next_secure && t->secure &&
        (allowed & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP) == 0) {
      return false;
    }
    // 301, 302 and 303 turn anything but GET and HEAD into a GET without a
    // body; 307 and 308 repeat the request as it was.
    if (t->status <= 303 && t->method != "GET" && t->method != "HEAD") {
      t->method = "GET";
      t->send_body = false;
    }
    Detach(t.get());
    t->url = next;
    t->secure = next_secure;
  }
  r->transfer = std::move(t);
  return true;
}

}  // namespace

void InternetStartUp() {
  std::call_once(gStartOnce, [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    gCookieShare = curl_share_init();
    if (gCookieShare != nullptr) {
      curl_share_setopt(gCookieShare, CURLSHOPT_LOCKFUNC, LockShare);
      curl_share_setopt(gCookieShare, CURLSHOPT_UNLOCKFUNC, UnlockShare);
      curl_share_setopt(gCookieShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
  });
}

HINTERNET InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy,
                        LPCSTR lpszProxyBypass, DWORD dwFlags) {
  InternetStartUp();
  auto object = std::make_unique<InternetObject>();
  object->kind = Kind::kInternet;
  // The agent goes out as one header line: it ends at a CR or LF.
  if (lpszAgent != nullptr) {
    object->agent = lpszAgent;
    object->agent.resize(object->agent.find_first_of("\r\n") ==
                                 std::string::npos
                             ? object->agent.size()
                             : object->agent.find_first_of("\r\n"));
    object->has_agent = !object->agent.empty();
  }
  switch (dwAccessType) {
    case INTERNET_OPEN_TYPE_PRECONFIG:
    case INTERNET_OPEN_TYPE_DIRECT:
    case INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY:
      break;
    case INTERNET_OPEN_TYPE_PROXY:
      if (lpszProxy == nullptr || lpszProxy[0] == '\0') return nullptr;
      object->use_proxy = true;
      object->proxy = lpszProxy;
      break;
    default:
      return nullptr;
  }
  return Register(std::move(object), nullptr);
}

HINTERNET InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName,
                           INTERNET_PORT nServerPort, LPCSTR lpszUserName,
                           LPCSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                           DWORD_PTR dwContext) {
  InternetObject* internet = Find(hInternet, Kind::kInternet);
  if (internet == nullptr || lpszServerName == nullptr ||
      lpszServerName[0] == '\0' || dwService != INTERNET_SERVICE_HTTP) {
    return nullptr;
  }
  auto object = std::make_unique<InternetObject>();
  object->kind = Kind::kConnect;
  object->agent = internet->agent;
  object->has_agent = internet->has_agent;
  object->use_proxy = internet->use_proxy;
  object->proxy = internet->proxy;
  object->server = lpszServerName;
  object->port = nServerPort;
  return Register(std::move(object), internet);
}

HINTERNET HttpOpenRequestA(HINTERNET hConnect, LPCSTR lpszVerb,
                           LPCSTR lpszObjectName, LPCSTR lpszVersion,
                           LPCSTR lpszReferrer, LPCSTR* lplpszAcceptTypes,
                           DWORD dwFlags, DWORD_PTR dwContext) {
  InternetObject* connect = Find(hConnect, Kind::kConnect);
  if (connect == nullptr) return nullptr;
  auto object = std::make_unique<InternetObject>();
  object->kind = Kind::kRequest;
  object->agent = connect->agent;
  object->has_agent = connect->has_agent;
  object->use_proxy = connect->use_proxy;
  object->proxy = connect->proxy;
  object->server = connect->server;
  object->port = connect->port;
  object->verb = lpszVerb != nullptr && lpszVerb[0] != '\0' ? lpszVerb : "GET";
  if (!IsToken(object->verb)) return nullptr;
  object->object = lpszObjectName != nullptr && lpszObjectName[0] != '\0'
                       ? lpszObjectName
                       : "/";
  if (lpszReferrer != nullptr) object->referrer = lpszReferrer;
  for (LPCSTR* type = lplpszAcceptTypes; type != nullptr && *type != nullptr;
       ++type) {
    if (!object->accept.empty()) object->accept += ", ";
    object->accept += *type;
  }
  object->flags = dwFlags;
  return Register(std::move(object), connect);
}

BOOL InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer,
                        DWORD dwBufferLength) {
  InternetObject* request = Find(hInternet, Kind::kRequest);
  if (request == nullptr || dwOption != INTERNET_OPTION_SECURITY_FLAGS ||
      lpBuffer == nullptr || dwBufferLength < sizeof(DWORD)) {
    return kFalse;
  }
  std::memcpy(&request->security_flags, lpBuffer, sizeof(DWORD));
  return kTrue;
}

BOOL HttpSendRequestA(HINTERNET hRequest, LPCSTR lpszHeaders,
                      DWORD dwHeadersLength, LPVOID lpOptional,
                      DWORD dwOptionalLength) {
  InternetObject* r = Find(hRequest, Kind::kRequest);
  if (r == nullptr) return kFalse;
  r->transfer.reset();
  r->sent = false;

  std::string text;
  if (lpszHeaders != nullptr) {
    text = dwHeadersLength == kHeadersZeroTerminated
               ? std::string(lpszHeaders)
               : std::string(lpszHeaders, dwHeadersLength);
  }
  // One header per line; a lone CR or LF ends a line too, so no line can
  // smuggle a second header. Lines without a name are dropped, and an empty
  // value is written "Name;" as curl wants it.
  r->lines.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    const auto end = text.find_first_of("\r\n", i);
    std::string line =
        text.substr(i, end == std::string::npos ? std::string::npos : end - i);
    i = end == std::string::npos ? text.size() : end + 1;
    const auto colon = line.find(':');
    if (colon == std::string::npos || HeaderName(line).empty()) continue;
    if (TrimSpaces(line.substr(colon + 1)).empty()) {
      line = line.substr(0, colon) + ";";
    }
    r->lines.push_back(line);
  }
  r->body.clear();
  if (lpOptional != nullptr && dwOptionalLength > 0) {
    const auto* bytes = static_cast<const std::uint8_t*>(lpOptional);
    r->body.assign(bytes, bytes + dwOptionalLength);
  }
  r->sent = Exchange(r);
  if (!r->sent) r->transfer.reset();
  return r->sent ? kTrue : kFalse;
}

BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer,
                      DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead) {
  if (lpdwNumberOfBytesRead == nullptr) return kFalse;
  *lpdwNumberOfBytesRead = 0;
  InternetObject* r = Find(hFile, Kind::kRequest);
  if (r == nullptr || !r->sent || r->transfer == nullptr ||
      (lpBuffer == nullptr && dwNumberOfBytesToRead > 0)) {
    return kFalse;
  }
  Transfer* t = r->transfer.get();
  auto* out = static_cast<std::uint8_t*>(lpBuffer);
  DWORD filled = 0;
  while (filled < dwNumberOfBytesToRead) {
    const std::size_t n =
        std::min<std::size_t>(t->Pending(), dwNumberOfBytesToRead - filled);
    if (n > 0) {
      std::memcpy(out + filled, t->staging.data() + t->staging_pos, n);
      t->staging_pos += n;
      filled += DWORD(n);
      continue;
    }
    if (t->paused) {
      t->paused = false;
      curl_easy_pause(t->easy, CURLPAUSE_CONT);  // may hand data over at once
      continue;
    }
    if (t->done) break;
    RunUntil(t, 0, [t] { return t->Pending() > 0 || t->paused; });
  }
  *lpdwNumberOfBytesRead = filled;
  const bool broken = t->done && t->result != CURLE_OK && t->Pending() == 0;
  return filled == 0 && broken ? kFalse : kTrue;
}

BOOL HttpQueryInfoA(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer,
                    LPDWORD lpdwBufferLength, LPDWORD lpdwIndex) {
  InternetObject* r = Find(hRequest, Kind::kRequest);
  if (r == nullptr || !r->sent || r->transfer == nullptr ||
      lpdwBufferLength == nullptr) {
    return kFalse;
  }
  const Transfer& t = *r->transfer;
  const DWORD level = dwInfoLevel & 0xFFFF;
  const bool number = (dwInfoLevel & HTTP_QUERY_FLAG_NUMBER) != 0;
  if (level == HTTP_QUERY_STATUS_CODE && number) {
    if (lpBuffer == nullptr || *lpdwBufferLength < sizeof(DWORD)) {
      *lpdwBufferLength = sizeof(DWORD);
      return kFalse;
    }
    const DWORD status = DWORD(t.status);
    std::memcpy(lpBuffer, &status, sizeof(DWORD));
    *lpdwBufferLength = sizeof(DWORD);
    return kTrue;
  }
  std::string text;
  if (level == HTTP_QUERY_RAW_HEADERS_CRLF && !number) {
    text = t.block + "\r\n";
  } else if (level == HTTP_QUERY_STATUS_CODE) {
    text = std::to_string(t.status);
  } else {
    return kFalse;
  }
  const DWORD needed = DWORD(text.size() + 1);
  if (lpBuffer == nullptr || *lpdwBufferLength < needed) {
    *lpdwBufferLength = needed;
    return kFalse;
  }
  std::memcpy(lpBuffer, text.c_str(), needed);
  *lpdwBufferLength = needed - 1;
  return kTrue;
}

BOOL InternetCloseHandle(HINTERNET hInternet) {
  std::vector<std::unique_ptr<InternetObject>> closed;
  {
    std::lock_guard<std::mutex> lock(gHandlesMutex);
    auto* object = static_cast<InternetObject*>(hInternet);
    if (gHandles.count(object) == 0) return kFalse;
    Unregister(object, &closed);
  }
  return kTrue;  // `closed` ends the transfers as it goes out of scope
}

void SetInternetTimeoutsForTesting(DWORD connectMs, DWORD sendMs,
                                   DWORD receiveMs) {
  gConnectTimeoutMs.store(connectMs, std::memory_order_relaxed);
  gSendTimeoutMs.store(sendMs, std::memory_order_relaxed);
  gReceiveTimeoutMs.store(receiveMs, std::memory_order_relaxed);
}

int OpenInternetHandleCount() {
  std::lock_guard<std::mutex> lock(gHandlesMutex);
  return static_cast<int>(gHandles.size());
}
