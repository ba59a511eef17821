#include "tavo/bridge/bridge.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// The one bridge of the process; made and read under the lock, since controls of
// different threads may ask for it at once.
std::mutex g_bridgeLock;
EngineBridge* g_bridge = nullptr;

char* HeapCopy(const char* s) {
  const size_t n = std::strlen(s) + 1;
  char* copy = new char[n];
  std::memcpy(copy, s, n);
  return copy;
}

void CloseAndClear(HANDLE& h) {
  if (h) CloseHandle(h);
  h = nullptr;
}

}  // namespace

// ---- EngineProcess ----

EngineProcess::EngineProcess(const char* commandLine, const char* directory)
    : commandLine_(HeapCopy(commandLine)), directory_(HeapCopy(directory)) {}

EngineProcess::~EngineProcess() {
  DWORD code = 0;
  if (process_ && GetExitCodeProcess(process_, &code) && code == STILL_ACTIVE) TerminateProcess(process_, 1);
  CloseAndClear(outWrite_);
  CloseAndClear(outRead_);
  CloseAndClear(inRead_);
  CloseAndClear(inWrite_);
  CloseAndClear(process_);
  delete[] commandLine_;
  delete[] directory_;
}

bool EngineProcess::Launch() {
  SECURITY_ATTRIBUTES sa{};
  sa.nLength = sizeof sa;
  sa.lpSecurityDescriptor = nullptr;
  sa.bInheritHandle = TRUE;
  if (pipeFlags & 1) {
    if (!CreatePipe(&outRead_, &outWrite_, &sa, 8192)) return false;
  }
  if (inputPipeWanted) {
    if (!CreatePipe(&inRead_, &inWrite_, &sa, 8192)) return false;
  }
  // The control's own ends must not be inherited, or the engine would keep its input
  // open itself and never see its end.
  if (outRead_) SetHandleInformation(outRead_, HANDLE_FLAG_INHERIT, 0);
  if (inWrite_) SetHandleInformation(inWrite_, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  si.hStdInput = inRead_;
  si.hStdOutput = outWrite_;
  si.hStdError = nullptr;
  PROCESS_INFORMATION pi{};
  // The application is named explicitly, so a path with blanks cannot start another
  // program; the command line is the engine path as stored.
  if (!CreateProcessA(commandLine_, commandLine_, &sa, nullptr, TRUE, DETACHED_PROCESS, nullptr, directory_, &si,
                      &pi)) {
    return false;
  }
  process_ = pi.hProcess;
  CloseHandle(pi.hThread);
  // Only the engine holds its ends now: its exit ends our reads.
  CloseAndClear(outWrite_);
  CloseAndClear(inRead_);
  WaitForInputIdle(process_, 5000);
  return true;
}

void EngineProcess::ReadLoop() {
  if (!process_ || !outRead_) return;
  char buffer[4096];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(outRead_, buffer, sizeof buffer - 1, &got, nullptr) || got == 0) break;
    buffer[got] = '\0';
    sink->OnOutput(buffer);
  }
  if (WaitForSingleObject(process_, 5000) == WAIT_TIMEOUT) TerminateProcess(process_, 1);
  std::fflush(nullptr);
  CloseAndClear(process_);
}

bool EngineProcess::Write(const char* text) {
  if (!process_ || !inWrite_) return false;
  const DWORD n = DWORD(std::strlen(text));
  DWORD written = 0;
  return WriteFile(inWrite_, text, n, &written, nullptr) && written == n;
}

// ---- threads ----

BridgeThread::~BridgeThread() { Stop(); }

void BridgeThread::Stop() {
  if (thread_) {
    DWORD code = 0;
    if (GetExitCodeThread(thread_, &code) && code == STILL_ACTIVE) TerminateThread(thread_, 1);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
}

bool WorkerThread::Start(void* parameter) {
  if (thread_) {
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  DWORD id = 0;
  thread_ = CreateThread(nullptr, 0, EngineBridge::WorkerProc, parameter, CREATE_SUSPENDED, &id);
  if (!thread_) return false;
  ResumeThread(thread_);
  return true;
}

// ---- EngineBridge ----

EngineBridge::EngineBridge(const BridgeConfig& config)
    : BridgeCore(config.workDir.c_str()),
      process_(config.enginePath.c_str(), Directory()),
      replyEvent_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      startedEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  process_.sink = this;
  process_.pipeFlags = 3;
  process_.inputPipeWanted = true;
  lastOutput_ = GetTickCount();
  if (!thread_.Start(this)) {
    workerDone_ = true;
    SetEvent(startedEvent_);
  }
  // Give the engine up to a second to start.
  WaitForSingleObject(startedEvent_, 1000);
}

EngineBridge::~EngineBridge() {
  // The worker goes first, so that nothing runs while the rest is taken down.
  thread_.Stop();
  if (replyEvent_) CloseHandle(replyEvent_);
  if (startedEvent_) CloseHandle(startedEvent_);
}

DWORD WINAPI EngineBridge::WorkerProc(void* parameter) {
  auto* bridge = static_cast<EngineBridge*>(parameter);
  const bool launched = bridge->process_.Launch();
  SetEvent(bridge->startedEvent_);
  if (launched) bridge->process_.ReadLoop();
  bridge->workerDone_ = true;
  SetEvent(bridge->replyEvent_);
  return 0;
}

void EngineBridge::OnOutput(const char* text) {
  lastOutput_ = GetTickCount();
  BridgeCore::OnOutput(text);
}

void EngineBridge::BusyCleared() { SetEvent(replyEvent_); }

void EngineBridge::SendCommand(const char* command) {
  ResetEvent(replyEvent_);
  busy = 1;
  if (!process_.Write(command)) {
    busy = 0;  // nothing was sent: no reply will come
    return;
  }
  lastOutput_ = GetTickCount();
  while (busy) {
    if (WaitForSingleObject(replyEvent_, 50) == WAIT_OBJECT_0) continue;
    if (workerDone_ || GetTickCount() - lastOutput_ > kReplySilenceLimitMs) {
      busy = 0;
      break;
    }
  }
}

void EngineBridge::SendHand(char letter) {
  if (gameRunning == 0) return;
  const char command[4] = {letter, '\r', '\n', '\0'};
  SendCommand(command);
}

void EngineBridge::StartGame() {
  gameRunning = 1;
  SendCommand("D\r\n");
  Events()->NewGame();
}

void EngineBridge::EndGame() {
  SendCommand("Q\r\n");
  Events()->Ended();
}

EngineBridge* GetBridge(const BridgeConfig* create) {
  std::lock_guard<std::mutex> lock(g_bridgeLock);
  if (!g_bridge && create) {
    try {
      g_bridge = new EngineBridge(*create);
    } catch (const IO::Exception&) {
      g_bridge = nullptr;  // log.txt cannot be created: no bridge, nothing started
    } catch (const std::bad_alloc&) {
      g_bridge = nullptr;
    }
  }
  return g_bridge;
}

bool BridgeExists() {
  std::lock_guard<std::mutex> lock(g_bridgeLock);
  return g_bridge != nullptr;
}
