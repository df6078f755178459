// Processes on Windows: CreateProcessW and WaitForSingleObject for children, an unhandled-
// exception filter (and the C runtime's abort signal) for the last word before a crash,
// a suspended thread's context for where it stood, GetModuleHandleExW to tell which library
// code is in and whether a library is still loaded.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <chrono>
#include <csignal>
#include <cstdio>

#include "hostsim/platform/process.h"
#include "hostsim/platform/wide_text.h"

namespace hostsim::platform {

namespace {

std::string Hex(std::uintptr_t value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
  return buf;
}

// One argument quoted the way the C runtime splits a command line: backslashes are literal
// except before a quote, where they are doubled.
void AppendArgument(std::wstring& line, const std::wstring& arg) {
  line += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"')
      line.append(backslashes * 2 + 1, L'\\');
    else
      line.append(backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// Closes a handle when it goes out of scope.
struct Handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE && h != nullptr) CloseHandle(h);
  }
};

HANDLE OpenForChild(const std::filesystem::path& path, bool write) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};  // inherited by the child
  return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, write ? CREATE_ALWAYS : OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

const char* ExceptionName(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
      return "EXCEPTION_ACCESS_VIOLATION (invalid memory access)";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      return "EXCEPTION_ILLEGAL_INSTRUCTION";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case EXCEPTION_STACK_OVERFLOW:
      return "EXCEPTION_STACK_OVERFLOW";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
      return "EXCEPTION_ARRAY_BOUNDS_EXCEEDED";
    case EXCEPTION_PRIV_INSTRUCTION:
      return "EXCEPTION_PRIV_INSTRUCTION";
    case EXCEPTION_IN_PAGE_ERROR:
      return "EXCEPTION_IN_PAGE_ERROR";
    case 0xC0000409:
      return "STATUS_STACK_BUFFER_OVERRUN (fast fail)";
    case 0xC0000374:
      return "STATUS_HEAP_CORRUPTION";
    case 0xE06D7363:
      return "unhandled C++ exception";
    default:
      return nullptr;
  }
}

}  // namespace

std::filesystem::path ExecutablePath() {
  std::wstring buf(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  if (n == 0 || n >= buf.size()) return {};
  buf.resize(n);
  return std::filesystem::path(buf);
}

ChildEnd RunChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                  const std::filesystem::path& out, const std::filesystem::path& err,
                  std::chrono::milliseconds limit, const volatile std::sig_atomic_t* stop) {
  ChildEnd end;
  if (stop != nullptr && *stop != 0) {
    end.kind = ChildEnd::Kind::Stopped;
    return end;
  }
  Handle in{OpenForChild(L"NUL", false)};
  Handle o{OpenForChild(out, true)};
  Handle e{OpenForChild(err, true)};
  if (in.h == INVALID_HANDLE_VALUE || o.h == INVALID_HANDLE_VALUE || e.h == INVALID_HANDLE_VALUE) {
    end.why = "cannot open the child's output files (error " + std::to_string(GetLastError()) + ")";
    return end;
  }
  std::wstring line;
  AppendArgument(line, program.wstring());
  line.erase(0, 1);  // no blank before the program
  for (const std::string& a : args) AppendArgument(line, WideFromUtf8(a));

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in.h;
  si.hStdOutput = o.h;
  si.hStdError = e.h;
  PROCESS_INFORMATION pi{};
  // No error dialog boxes in the child: a crash must end it, not wait for a click.
  const UINT oldMode =
      SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // The child writes only to the files above and needs no console. A console of its own
  // (CREATE_NO_WINDOW) is a console host process, which can outlive a child killed at its time
  // limit and keep our caller's output pipe open; a detached child has none.
  // The system's own internal error is tried again a few times: seen under Wine when many
  // processes start at once, a start a moment later succeeds.
  BOOL started = FALSE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                             nullptr, nullptr, &si, &pi);
    error = started ? 0 : GetLastError();
    if (!started && error != ERROR_INTERNAL_ERROR) break;
  }
  SetErrorMode(oldMode);
  if (!started) {
    end.why = "cannot start " + program.string() + " (error " + std::to_string(error) + ")";
    return end;
  }
  Handle process{pi.hProcess};
  Handle thread{pi.hThread};
  // Waited for in slices, so that a stop is seen while it runs.
  const auto deadline = std::chrono::steady_clock::now() + limit;
  DWORD waited = WAIT_TIMEOUT;
  bool stopped = false;
  while (waited == WAIT_TIMEOUT && !stopped && std::chrono::steady_clock::now() < deadline) {
    waited = WaitForSingleObject(pi.hProcess, 20);
    stopped = stop != nullptr && *stop != 0;
  }
  if (waited != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, INFINITE);
    end.kind = stopped ? ChildEnd::Kind::Stopped : ChildEnd::Kind::TimedOut;
    return end;
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  if (const char* name = ExceptionName(code)) {
    end.kind = ChildEnd::Kind::Crashed;
    end.why = name;
  } else if (code >= 0xC0000000u) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "exception 0x%08lX", static_cast<unsigned long>(code));
    end.kind = ChildEnd::Kind::Crashed;
    end.why = buf;
  } else if (code == 3) {
    // What the C runtime's abort() leaves as the exit status.
    end.kind = ChildEnd::Kind::Crashed;
    end.why = "abort (exit status 3)";
  } else {
    end.kind = ChildEnd::Kind::Exited;
    end.code = static_cast<int>(code);
  }
  return end;
}

namespace {

void (*g_report)(const Fault&) = nullptr;

void Report(const Fault& fault) {
  void (*report)(const Fault&) = g_report;
  g_report = nullptr;
  if (report != nullptr) report(fault);
}

// Fills `f.callers` by unwinding from `context` (the faulting or suspended thread's registers)
// with the unwind tables every x64 image carries, while the stack pointer stays inside the
// thread's stack: between where it stood and `stackBase`, rising, so that a damaged stack
// ends the walk rather than faulting in it.
void WalkStack(CONTEXT context, std::uintptr_t stackBase, Fault& f) {
#if defined(_M_X64) || defined(__x86_64__)
  const DWORD64 bottom = context.Rsp;
  while (f.callerCount < Fault::kCallers) {
    const DWORD64 sp = context.Rsp;
    if (sp < bottom || sp + sizeof(DWORD64) > stackBase || sp % sizeof(DWORD64) != 0) break;
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
    if (function != nullptr) {
      void* handlerData = nullptr;
      DWORD64 establisher = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData,
                       &establisher, nullptr);
    } else {  // a leaf function: its return address is on top of the stack
      context.Rip = *reinterpret_cast<const DWORD64*>(sp);
      context.Rsp = sp + sizeof(DWORD64);
    }
    if (context.Rip == 0 || context.Rsp <= sp) break;
    f.callers[f.callerCount++] = reinterpret_cast<const void*>(context.Rip);
  }
#else
  (void)context;
  (void)stackBase;
  (void)f;
#endif
}

// Where the calling thread's stack ends: the top of the committed pages around a variable of
// its own, which run unbroken from the stack pointer to the stack's end.
std::uintptr_t StackBase() {
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(&region, &region, sizeof region) == 0) return 0;
  return reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
}

LONG WINAPI OnException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info != nullptr ? info->ExceptionRecord : nullptr;
  const DWORD code = record != nullptr ? record->ExceptionCode : 0;
  const char* name = ExceptionName(code);
  Fault f;
  f.what = name != nullptr ? name : "unhandled exception";
  if (record != nullptr) {
    f.code = record->ExceptionAddress;
    // An access violation's second parameter is the address it used.
    if ((code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_IN_PAGE_ERROR) &&
        record->NumberParameters >= 2) {
      f.hasAddress = true;
      f.address = reinterpret_cast<const void*>(record->ExceptionInformation[1]);
    }
  }
  if (info != nullptr && info->ContextRecord != nullptr)
    WalkStack(*info->ContextRecord, StackBase(), f);
  Report(f);
  return EXCEPTION_CONTINUE_SEARCH;
}

void OnAbort(int) {
  Fault f;
  f.what = "abort";
  Report(f);
  std::signal(SIGABRT, SIG_DFL);
  std::raise(SIGABRT);
}

}  // namespace

void OnFatalCrash(void (*report)(const Fault& fault)) {
  g_report = report;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // Room for the filter on a thread whose stack overflowed.
  ULONG guarantee = 64 * 1024;
  SetThreadStackGuarantee(&guarantee);
  SetUnhandledExceptionFilter(OnException);
  std::signal(SIGABRT, OnAbort);
}

bool RunIsolated(void (*work)(), std::chrono::milliseconds) {
  work();
  return true;
}

int RunIsolatedAnswer(int (*work)(), std::chrono::milliseconds) { return work(); }

// Windows keeps no function names for code built with this toolchain's debugging
// information, so a location is the library and the offset into it.
std::string CodeLocation(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  HMODULE module = nullptr;
  if (address == nullptr || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                    GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                                static_cast<LPCWSTR>(address), &module))
    return "unknown code at " + Hex(at);
  std::wstring name(32768, L'\0');
  name.resize(GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size())));
  return Utf8FromWide(name) + " at offset " + Hex(at - reinterpret_cast<std::uintptr_t>(module));
}

const void* LibraryBase(const void* address) {
  HMODULE module = nullptr;
  if (address == nullptr || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                    GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                                static_cast<LPCWSTR>(address), &module))
    return nullptr;
  return reinterpret_cast<const void*>(module);
}

// The library and the offset into it, as CodeLocation names them.
std::vector<std::vector<CodeFrame>> CodeFrames(const std::vector<const void*>& addresses) {
  std::vector<std::vector<CodeFrame>> frames;
  for (const void* address : addresses) {
    CodeFrame f;
    f.base = LibraryBase(address);
    if (f.base != nullptr) {
      std::wstring name(32768, L'\0');
      name.resize(GetModuleFileNameW(static_cast<HMODULE>(const_cast<void*>(f.base)), name.data(),
                                     static_cast<DWORD>(name.size())));
      f.library = Utf8FromWide(name);
      f.offset =
          reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(f.base);
    }
    frames.push_back({std::move(f)});
  }
  return frames;
}

// The stack was walked when the fault was caught: the faulting code, then an address inside
// each caller's call instruction.
std::vector<const void*> FaultStack(const Fault& fault, std::size_t max) {
  std::vector<const void*> stack;
  if (fault.code == nullptr || max == 0) return stack;
  stack.push_back(fault.code);
  for (std::size_t i = 0; i < fault.callerCount && stack.size() < max; ++i)
    stack.push_back(static_cast<const char*>(fault.callers[i]) - 1);
  return stack;
}

WatchedThread::WatchedThread() {
  HANDLE self = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self,
                  THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, 0);
  handle_ = reinterpret_cast<std::uintptr_t>(self);
  stackBase_ = StackBase();
}

WatchedThread::~WatchedThread() {
  if (handle_ != 0) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void WatchedThread::Interrupt(const char* what, void (*report)(const Fault& fault)) const {
  const HANDLE thread = reinterpret_cast<HANDLE>(handle_);
  if (thread == nullptr || SuspendThread(thread) == static_cast<DWORD>(-1)) return;
  Fault f;
  f.what = what;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_FULL;
  if (GetThreadContext(thread, &context)) {
    WalkStack(context, stackBase_, f);
#if defined(_M_X64) || defined(__x86_64__)
    f.code = reinterpret_cast<const void*>(context.Rip);
#elif defined(_M_ARM64) || defined(__aarch64__)
    f.code = reinterpret_cast<const void*>(context.Pc);
#endif
  }
  report(f);
  ResumeThread(thread);
}

namespace {

volatile std::sig_atomic_t g_stop = 0;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      g_stop = SIGINT;
      return TRUE;
    case CTRL_CLOSE_EVENT:
      g_stop = SIGTERM;
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

StandardStreams HoldStandardStreams() {
  StandardStreams closed;
  const auto missing = [](DWORD which) {
    const HANDLE h = GetStdHandle(which);
    return h == nullptr || h == INVALID_HANDLE_VALUE;
  };
  closed.inputClosed = missing(STD_INPUT_HANDLE);
  closed.outputClosed = missing(STD_OUTPUT_HANDLE);
  closed.errorClosed = missing(STD_ERROR_HANDLE);
  return closed;
}

const volatile std::sig_atomic_t* CatchStopSignals() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  return &g_stop;
}

void WriteStderr(const char* text, std::size_t length) {
  HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  while (length > 0 && h != nullptr && h != INVALID_HANDLE_VALUE) {
    DWORD n = 0;
    if (!WriteFile(h, text, static_cast<DWORD>(length), &n, nullptr) || n == 0) return;
    text += n;
    length -= n;
  }
}

bool LibraryIsLoaded(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  if (ec) full = path;
  full.make_preferred();
  HMODULE handle = nullptr;
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, full.c_str(), &handle) !=
         0;
}

MappedFile::MappedFile(const std::filesystem::path& path, std::size_t size) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  file_ = f;
  const auto wide = static_cast<unsigned long long>(size);
  HANDLE m = CreateFileMappingW(f, nullptr, PAGE_READWRITE, static_cast<DWORD>(wide >> 32),
                                static_cast<DWORD>(wide & 0xFFFFFFFFu), nullptr);
  if (m == nullptr) return;
  mapping_ = m;
  void* p = MapViewOfFile(m, FILE_MAP_WRITE, 0, 0, size);
  if (p == nullptr) return;
  data_ = static_cast<char*>(p);
  size_ = size;
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) UnmapViewOfFile(data_);
  if (mapping_ != nullptr) CloseHandle(mapping_);
  if (file_ != nullptr) CloseHandle(file_);
}

}  // namespace hostsim::platform
