#include "tavo/bridge/bridge.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "tavo/bridge/utf8.h"
#include "tavo/protocol/protocol.h"

namespace tavo::bridge {

namespace {

// The one bridge of the process; made and read under the lock, since controls of
// different threads may ask for it at once.
std::mutex g_bridgeLock;
EngineBridge* g_bridge = nullptr;

}  // namespace

// ---- EngineProcess ----

EngineProcess::EngineProcess(const char* commandLine, const char* directory)
    : commandLine_(commandLine), directory_(directory) {}

EngineProcess::~EngineProcess() {
  DWORD code = 0;
  if (process_ && GetExitCodeProcess(process_.get(), &code) && code == STILL_ACTIVE)
    TerminateProcess(process_.get(), 1);
}

bool EngineProcess::Launch() {
  // What is left of an engine that ended.
  process_.reset();
  job_.reset();
  // CreateProcess takes neither a program nor a current folder of MAX_PATH characters or
  // more (and Wine's path code overruns its buffers on such names): no engine starts
  // from a folder that deep.
  if (commandLine_.empty() || WideFromUtf8(commandLine_).size() >= MAX_PATH ||
      WideFromUtf8(directory_).size() >= MAX_PATH - 12)
    return false;
  SECURITY_ATTRIBUTES sa{};
  sa.nLength = sizeof sa;
  sa.lpSecurityDescriptor = nullptr;
  sa.bInheritHandle = TRUE;
  if (!CreatePipe(outRead_.put(), outWrite_.put(), &sa, 8192)) return false;
  if (!CreatePipe(inRead_.put(), inWrite_.put(), &sa, 8192)) return false;
  // The control's own ends must not be inherited, or the engine would keep its input
  // open itself and never see its end.
  SetHandleInformation(outRead_.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(inWrite_.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  si.hStdInput = inRead_.get();
  si.hStdOutput = outWrite_.get();
  si.hStdError = nullptr;
  PROCESS_INFORMATION pi{};
  // The application is named explicitly, so a path with blanks cannot start another
  // program; the command line is the engine path as stored. Wide calls, so that a
  // folder outside the ANSI code page works.
  const std::wstring application = WideFromUtf8(commandLine_);
  std::wstring commandLine = application;  // CreateProcessW may write into it
  const std::wstring directory = WideFromUtf8(directory_);
  if (!CreateProcessW(application.c_str(), commandLine.data(), &sa, nullptr, TRUE, DETACHED_PROCESS | CREATE_SUSPENDED,
                      nullptr, directory.c_str(), &si, &pi)) {
    return false;
  }
  process_.reset(pi.hProcess);
  // Should this process end without closing the engine (killed, or crashed), the job's
  // last handle goes with it and the system ends the engine.
  job_.reset(CreateJobObjectW(nullptr, nullptr));
  if (job_) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job_.get(), pi.hProcess))
      job_.reset();
  }
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  // Only the engine holds its ends now: its exit ends our reads.
  outWrite_.reset();
  inRead_.reset();
  // The engine is a console program, for which this returns at once (it has no message
  // queue to wait for); an engine built as a window program gets up to five seconds to be
  // ready for its first command.
  WaitForInputIdle(process_.get(), 5000);
  return true;
}

void EngineProcess::ReadLoop() {
  if (!process_ || !outRead_) return;
  char buffer[4096];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(outRead_.get(), buffer, sizeof buffer, &got, nullptr) || got == 0) break;
    sink->OnOutput(buffer, got);
  }
  if (WaitForSingleObject(process_.get(), 5000) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 1);
  std::fflush(nullptr);
}

bool EngineProcess::Write(const char* text) {
  if (!process_ || !inWrite_) return false;
  const DWORD n = DWORD(std::strlen(text));
  DWORD written = 0;
  return WriteFile(inWrite_.get(), text, n, &written, nullptr) && written == n;
}

void EngineProcess::Shutdown() {
  inWrite_.reset();
  if (!process_) return;
  if (WaitForSingleObject(process_.get(), kEngineExitWaitMs) == WAIT_TIMEOUT) Terminate();
}

void EngineProcess::Terminate() {
  inWrite_.reset();
  if (!process_) return;
  TerminateProcess(process_.get(), 1);
  WaitForSingleObject(process_.get(), kEngineExitWaitMs);
}

// ---- the worker thread ----

bool WorkerThread::Start(LPTHREAD_START_ROUTINE procedure, void* parameter) {
  DWORD id = 0;
  thread_.reset(CreateThread(nullptr, 0, procedure, parameter, 0, &id));
  return static_cast<bool>(thread_);
}

bool WorkerThread::Join(DWORD ms) {
  if (!thread_) return true;
  if (WaitForSingleObject(thread_.get(), ms) != WAIT_OBJECT_0) return false;
  thread_.reset();
  return true;
}

// ---- EngineBridge ----

namespace {
// A command as the engine reads it: its letter and the line end.
std::string Command(char letter) { return letter + std::string(tavo::protocol::kLineEnd); }
}  // namespace

EngineBridge::EngineBridge(const BridgeConfig& config)
    : BridgeCore(config.workDir.c_str()),
      process_(config.enginePath.c_str(), Directory()),
      replyEvent_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      startedEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  process_.sink = this;
  StartWorker();
  noEngine_ = workerDone_.load();
}

void EngineBridge::StartWorker() {
  ResetEvent(startedEvent_.get());
  failedReplies_ = 0;
  workerDone_ = false;
  if (!thread_.Start(WorkerProc, this)) {
    workerDone_ = true;
    SetEvent(startedEvent_.get());
  }
  // Give the engine up to a second to start.
  WaitForSingleObject(startedEvent_.get(), 1000);
}

EngineBridge::~EngineBridge() {
  // The worker goes first, so that nothing runs while the rest is taken down: the engine's
  // end ends its reads.
  process_.Terminate();
  thread_.Join(5000);
}

DWORD WINAPI EngineBridge::WorkerProc(void* parameter) {
  auto* bridge = static_cast<EngineBridge*>(parameter);
  const bool launched = bridge->process_.Launch();
  // A launch that failed is known as done before anyone is told that the launch is over.
  if (!launched) bridge->workerDone_ = true;
  SetEvent(bridge->startedEvent_.get());
  if (launched) bridge->process_.ReadLoop();
  bridge->workerDone_ = true;
  SetEvent(bridge->replyEvent_.get());
  return 0;
}

void EngineBridge::OnOutput(const char* data, size_t size) {
  ++outputSteps_;
  BridgeCore::OnOutput(data, size);
  ++outputSteps_;
}

void EngineBridge::BusyCleared() { SetEvent(replyEvent_.get()); }

bool EngineBridge::SendCommand(const char* command) {
  ResetEvent(replyEvent_.get());
  AwaitReply();
  if (!process_.Write(command)) {
    GiveUpReply();  // nothing was sent: no reply will come
    return false;
  }
  const DWORD sent = GetTickCount();
  // Silence is counted in the steps of this loop, each at most kLongestStepMs, and only
  // while the worker waits for output: a longer step is time in which this process did
  // not run (a stalled or suspended machine), and a worker still busy with output it has
  // read (a slow disk under the log) has heard from the engine. Neither is the engine's
  // silence.
  DWORD before = sent, quiet = 0;
  unsigned heard = outputSteps_;
  while (Busy()) {
    if (WaitForSingleObject(replyEvent_.get(), 50) == WAIT_OBJECT_0) continue;
    const DWORD now = GetTickCount();
    const unsigned steps = outputSteps_;
    if (steps != heard || steps % 2 != 0) {
      quiet = 0;
      heard = steps;
    } else {
      quiet += std::min<DWORD>(now - before, kLongestStepMs);
    }
    before = now;
    if (workerDone_) {
      AbandonReply();
      GiveUpReply();
      return false;
    }
    const bool talking = now - sent > kReplyDeadlineMs;
    if (talking || quiet > kReplySilenceLimitMs) {
      // Whatever came of the reply is dropped. An engine that talks without ever
      // completing its reply, or that has failed the previous command as well (it hangs),
      // is past trusting: it is ended, so that it cannot go on filling the log or keep
      // every command waiting, and the next Start starts a new one. A single silent reply
      // may be a slip of an engine that still works, and keeps it.
      AbandonReply();
      if (talking || ++failedReplies_ >= kFailedRepliesToEnd) {
        process_.Terminate();
        engineEnding_ = true;
        thread_.Join(2000);  // the worker sees the output end and finishes
      }
      GiveUpReply();
      return false;
    }
  }
  failedReplies_ = 0;
  return true;
}

void EngineBridge::SendHand(char letter) {
  if (!GameRunning()) return;
  SendCommand(Command(letter).c_str());
}

bool EngineBridge::RestartEngine() {
  // The old engine gets its input closed and kEngineExitWaitMs to end (after Q it is
  // already on its way), then it is ended; its worker sees the output end and finishes.
  // A worker that has not finished by kWorkerEndWaitMs keeps its engine slot, and the
  // engine stays one that is ending: there is no engine this time, the next Start tries
  // again.
  process_.Shutdown();
  if (!thread_.Join(kWorkerEndWaitMs)) return false;
  AbandonReply();
  engineEnding_ = false;
  StartWorker();
  return !workerDone_;
}

void EngineBridge::StartGame() {
  // A game right after End would otherwise go to the engine that is still ending: D is
  // lost and the game never starts.
  const bool engineRuns = !(engineEnding_ || workerDone_) || RestartEngine();
  if (engineRuns) {
    // The launch may still be under way (a slow start, a loaded machine): it ends within
    // the time an answer may take, and only then is it known whether there is an engine.
    WaitForSingleObject(startedEvent_.get(), kReplyDeadlineMs);
    GameStarts();
    // An engine that dies without answering D (it crashes at start, or is no program at
    // all), or that had to be ended, gives no game either; a silent one that still runs
    // does.
    if (SendCommand(Command(tavo::protocol::kNewGame).c_str()) || !(workerDone_ || engineEnding_)) {
      noEngine_ = false;
      Events()->NewGame();
      return;
    }
  }
  noEngine_ = true;
  GameEnds();
}

void EngineBridge::EndGame() {
  SendCommand(Command(tavo::protocol::kQuit).c_str());
  engineEnding_ = true;
  Events()->Ended();
}

EngineBridge* ExistingBridge() {
  std::lock_guard<std::mutex> lock(g_bridgeLock);
  return g_bridge;
}

EngineBridge* GetOrCreateBridge(const BridgeConfig& config) {
  std::lock_guard<std::mutex> lock(g_bridgeLock);
  if (!g_bridge && !config.workDir.empty()) {
    try {
      g_bridge = new EngineBridge(config);
    } catch (const IO::Exception&) {
      g_bridge = nullptr;  // log.txt cannot be created: no bridge, nothing started
    } catch (const std::bad_alloc&) {
      g_bridge = nullptr;
    }
  }
  return g_bridge;
}

void ShutdownBridgeEngine(bool processEnding) {
  // At the process's end the other threads are gone, one of them perhaps holding the
  // lock: the bridge is then used without it.
  std::unique_lock<std::mutex> lock(g_bridgeLock, std::try_to_lock);
  if (!g_bridge) return;
  g_bridge->ShutdownEngine();
  // A module unloaded while the process goes on: the worker runs this module's code, so it
  // must have left it before the code goes away, and this waits for it (under the loader
  // lock, which the worker never needs: it only reads, writes files and posts). The job
  // object does not help here: it ends the engine only when the host process ends and
  // its handle goes; on an unload the process goes on.
  for (int i = 0; !processEnding && !g_bridge->WorkerDone() && i < 200; ++i) Sleep(10);
}

}  // namespace tavo::bridge
