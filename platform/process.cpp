#include "platform/process.h"

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <new>

namespace {

struct ProcessHandle {
  pid_t pid;
  DWORD access;
};

}  // namespace

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle,
                   DWORD dwProcessId) {
  // kill() reads 0 as "my process group" and negative ids as groups or
  // "every process": an id that is no single process must never reach it.
  if (dwProcessId == 0 || dwProcessId > static_cast<DWORD>(INT_MAX)) {
    return nullptr;
  }
  const pid_t pid = static_cast<pid_t>(dwProcessId);
  // Signal 0 checks that the process exists; EPERM says it exists but is not
  // ours to signal, which TerminateProcess will then report.
  if (kill(pid, 0) != 0 && errno != EPERM) return nullptr;
  return new (std::nothrow) ProcessHandle{pid, dwDesiredAccess};
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  if (hProcess == nullptr) return 0;
  const auto* h = static_cast<const ProcessHandle*>(hProcess);
  if ((h->access & PROCESS_TERMINATE) == 0) return 0;
  if (h->pid == getpid()) _exit(static_cast<int>(uExitCode & 0xFF));
  return kill(h->pid, SIGKILL) == 0 ? 1 : 0;
}

BOOL CloseHandle(HANDLE hObject) {
  if (hObject == nullptr) return 0;
  delete static_cast<ProcessHandle*>(hObject);
  return 1;
}
