// The eight Windows Internet functions HttpRequest calls, with their Windows
// names, argument order and constants, carried out over libcurl. Any thread
// may call them, each handle from one thread at a time; InternetStartUp runs
// once on the main thread before any other thread starts.
#ifndef YK_PLATFORM_WININET_H_
#define YK_PLATFORM_WININET_H_

#include <cstdint>

using BOOL = int;
using DWORD = std::uint32_t;
using DWORD_PTR = std::uintptr_t;
using INTERNET_PORT = std::uint16_t;
using LPCSTR = const char*;
using LPVOID = void*;
using LPDWORD = DWORD*;
using HINTERNET = void*;

// InternetOpenA access types. The preconfigured ones mean "direct" here:
// the program reads no proxy settings of its surroundings.
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY = 4;

inline constexpr DWORD INTERNET_SERVICE_HTTP = 3;
inline constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;

// HttpOpenRequestA flags.
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
inline constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
inline constexpr DWORD INTERNET_FLAG_NO_COOKIES = 0x00080000;
inline constexpr DWORD INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000;
inline constexpr DWORD INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;
inline constexpr DWORD INTERNET_FLAG_NEED_FILE = 0x00000010;

// InternetSetOptionA on a request: a DWORD of SECURITY_FLAG_* bits.
inline constexpr DWORD INTERNET_OPTION_SECURITY_FLAGS = 31;
inline constexpr DWORD SECURITY_FLAG_IGNORE_REVOCATION = 0x00000080;
inline constexpr DWORD SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100;
inline constexpr DWORD SECURITY_FLAG_IGNORE_WRONG_USAGE = 0x00000200;
inline constexpr DWORD SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
inline constexpr DWORD SECURITY_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
inline constexpr DWORD SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;
inline constexpr DWORD SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000;
inline constexpr DWORD SECURITY_FLAG_IGNORE_WEAK_SIGNATURE = 0x00010000;

// HttpQueryInfoA levels: the status code (as text, or as a DWORD with
// HTTP_QUERY_FLAG_NUMBER) and the raw header block with CR LF line ends.
inline constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
inline constexpr DWORD HTTP_QUERY_RAW_HEADERS_CRLF = 22;
inline constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;

// Passed as a header length: the headers are zero-terminated.
inline constexpr DWORD kHeadersZeroTerminated = 0xFFFFFFFF;

// Starts the HTTP library and the process-wide cookie store. Call once on the
// main thread before any other thread runs; later calls do nothing.
void InternetStartUp();

// Keeps the agent (up to a CR or LF) and the proxy; does no network work.
// Null on failure.
HINTERNET InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy,
                        LPCSTR lpszProxyBypass, DWORD dwFlags);
// Keeps server and port; does no network work. A null or empty server name,
// or a service other than HTTP, gives null.
HINTERNET InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName,
                           INTERNET_PORT nServerPort, LPCSTR lpszUserName,
                           LPCSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                           DWORD_PTR dwContext);
// Keeps verb (null: GET), object (null: "/"), flags, referrer and accept
// types. The version is always HTTP/1.1.
HINTERNET HttpOpenRequestA(HINTERNET hConnect, LPCSTR lpszVerb,
                           LPCSTR lpszObjectName, LPCSTR lpszVersion,
                           LPCSTR lpszReferrer, LPCSTR* lplpszAcceptTypes,
                           DWORD dwFlags, DWORD_PTR dwContext);
// Only INTERNET_OPTION_SECURITY_FLAGS on a request handle is known.
BOOL InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer,
                        DWORD dwBufferLength);
// Resolves, connects, sends the request and reads the final response's
// headers (redirects followed unless the request forbids it). The body is
// left for InternetReadFile.
BOOL HttpSendRequestA(HINTERNET hRequest, LPCSTR lpszHeaders,
                      DWORD dwHeadersLength, LPVOID lpOptional,
                      DWORD dwOptionalLength);
// Sets *lpdwNumberOfBytesRead to 0 first, then fills the buffer with the next
// body bytes; fewer than asked only at the end of the body, 0 after it.
BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer,
                      DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead);
// HTTP_QUERY_RAW_HEADERS_CRLF: the final response's status line and header
// lines, each ended by CR LF, one more CR LF and a zero byte; *length becomes
// the count without the zero. A buffer too small: FALSE, buffer untouched,
// *length the size needed with the zero.
BOOL HttpQueryInfoA(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer,
                    LPDWORD lpdwBufferLength, LPDWORD lpdwIndex);
// Closes the handle and whatever was opened beneath it.
BOOL InternetCloseHandle(HINTERNET hInternet);

// For tests only: replaces the connect, send and receive time-outs (in
// milliseconds) of every transfer started afterwards; 0 restores the
// defaults of 60, 30 and 30 seconds.
void SetInternetTimeoutsForTesting(DWORD connectMs, DWORD sendMs,
                                   DWORD receiveMs);
// For tests only: the number of handles open in the whole process.
int OpenInternetHandleCount();

#endif  // YK_PLATFORM_WININET_H_
