// The Windows process functions on POSIX: enough to end a process by id.
// Any thread. A handle is an owned object released by CloseHandle; the null
// handle means a failed open.
#ifndef YK_PLATFORM_PROCESS_H_
#define YK_PLATFORM_PROCESS_H_

#include <cstdint>

using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
using HANDLE = void*;

inline constexpr DWORD PROCESS_TERMINATE = 0x0001;

DWORD GetCurrentProcessId();

// A handle to the running process `dwProcessId` with the rights asked for,
// or null when there is no such process (ids 0 and above the largest
// process id name none).
HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle,
                   DWORD dwProcessId);

// Ends the process. The own process ends at once with exit code uExitCode
// (as the system reports it: its low 8 bits), running no clean-up: no
// destructors, no atexit functions, no stream flushing. Another process is
// killed (SIGKILL; it cannot be given an exit code). 0 when the handle is
// null, lacks PROCESS_TERMINATE, or the kill fails.
BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode);

// Releases the handle; 0 for the null handle.
BOOL CloseHandle(HANDLE hObject);

#endif  // YK_PLATFORM_PROCESS_H_
