// The one engine bridge per host process: it owns the engine program's process, its two
// pipes and the reader worker, sends the one-letter commands and waits for their
// replies.
//
// Which thread does what:
// - The host's thread runs every method of the controls, and so every command: it sets
//   busy, writes the command, and waits for the reply without pumping messages (a sleep on
//   an event, bounded by the reply's time limits). Nothing calls into the host meanwhile,
//   which is why a control's events never fire inside one of its calls: they are posted,
//   and fire when the host pumps messages after the call has returned.
// - The worker starts the engine, then reads its output. For each read it takes the reply
//   lock and dispatches (log.txt, the pending handler, kekka.txt, clearing busy and
//   gameRunning); a handler that completes takes the listener lock and only posts to the
//   controls' message windows. The worker never waits for the host's thread, so the wait
//   above cannot deadlock. The locks are always taken in that order, reply then listener.
// - A control's constructor and destructor (host's thread) attach and detach listeners
//   under the listener lock; a host thread that gives up a reply drops it under the reply
//   lock.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "tavo/bridge/bridge_core.h"

namespace tavo::bridge {

// Owns a kernel handle (a pipe end, a process, a thread, an event); the empty value is
// null.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    reset(o.release());
    return *this;
  }
  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  void reset(HANDLE h = nullptr) {
    if (h_) CloseHandle(h_);
    h_ = h;
  }
  // For a call that fills in a new handle.
  HANDLE* put() {
    reset();
    return &h_;
  }

 private:
  HANDLE h_ = nullptr;
};

// Where the bridge works: the folder of the record files, and the engine program (UTF-8).
// Empty when there is none: then no bridge is made, no engine started, nothing written.
struct BridgeConfig {
  std::string workDir;
  std::string enginePath;
};

// How long a command waits while the engine says nothing at all, and how long it waits
// in all, however much the engine says without completing its reply.
inline constexpr DWORD kReplySilenceLimitMs = 10000;
inline constexpr DWORD kReplyDeadlineMs = 15000;
// A step of the wait for a reply longer than this is time the host process did not run.
inline constexpr DWORD kLongestStepMs = 1000;
// How many commands in a row may go unanswered before the engine is ended.
inline constexpr int kFailedRepliesToEnd = 2;
// How long an engine is given to end by itself once its input is closed.
inline constexpr DWORD kEngineExitWaitMs = 1000;
// How long a new game waits for the reader of the engine before it to finish.
inline constexpr DWORD kWorkerEndWaitMs = 5000;

class EngineProcess {
 public:
  EngineProcess(const char* commandLine, const char* directory);
  ~EngineProcess();
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  // Creates the pipes and starts the engine (a new one, after an earlier one ended), in a job that ends it should this
  // process end without closing it; false when the pipes or the start fail.
  bool Launch();
  // Reads the engine's output in chunks and hands each to the sink until the output
  // ends; then waits for the engine to exit.
  void ReadLoop();
  // Writes the whole string to the engine's standard input.
  bool Write(const char* text);
  // Closes the engine's input, gives it kEngineExitWaitMs to end, then ends it.
  void Shutdown();
  // Ends the engine at once: it has stopped keeping to the protocol.
  void Terminate();

  OutputSink* sink = nullptr;

 private:
  std::string commandLine_;
  std::string directory_;
  UniqueHandle outRead_, outWrite_;
  UniqueHandle inWrite_, inRead_;
  UniqueHandle process_;
  UniqueHandle job_;
};

// The reader worker: a thread that is started and joined, and never ended from outside
// (a thread ended by force may leave a lock or the heap held). It ends by itself when the
// engine's output ends, which the bridge brings about by ending the engine.
class WorkerThread {
 public:
  WorkerThread() = default;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  // Starts the procedure on a new thread; a thread of an earlier start must have been
  // joined. False when no thread could be made.
  bool Start(LPTHREAD_START_ROUTINE procedure, void* parameter);
  // Waits up to the time for the thread to end; true when it has (or there is none), and
  // then the thread is forgotten.
  bool Join(DWORD ms);

 private:
  UniqueHandle thread_;
};

class EngineBridge : public BridgeCore {
 public:
  explicit EngineBridge(const BridgeConfig& config);
  ~EngineBridge() override;

  void SendHand(char letter);
  // Starts a game; an engine that was told to end (End), or has ended, is replaced by a
  // new one first. Without an engine that answers there is no game: no NewGame event,
  // and Info says -1.
  void StartGame();
  void EndGame();
  // The summary's INFO; -1 while there is no game because no engine runs.
  int32_t Info() { return noEngine_ ? -1 : Listeners().Info(); }
  // Ends the engine (see EngineProcess::Shutdown); for the process's or module's end.
  void ShutdownEngine() { process_.Shutdown(); }
  // True once the reader worker has finished (no engine, or the engine ended).
  bool WorkerDone() const { return workerDone_; }

 protected:
  void BusyCleared() override;

 private:
  void OnOutput(const char* data, size_t size) override;
  static DWORD WINAPI WorkerProc(void* parameter);
  // Starts the worker, which starts the engine, and gives it a second to do so.
  void StartWorker();
  // Writes a command and waits until its reply has been handled, the worker has ended,
  // the engine has been silent for too long or the deadline has passed; true when the
  // reply was handled.
  bool SendCommand(const char* command);
  // Lets the engine end (it has its input closed, and is ended when it lingers) and
  // starts a new one; true when one runs.
  bool RestartEngine();

  EngineProcess process_;
  WorkerThread thread_;
  UniqueHandle replyEvent_;
  UniqueHandle startedEvent_;
  std::atomic<bool> workerDone_{false};
  // Counts up as the worker takes output in hand and again as it is done with it: odd
  // while output is being handled.
  std::atomic<unsigned> outputSteps_{0};
  int failedReplies_ = 0;
  // The engine was sent Q, or was ended for not answering: the next game needs a new one.
  bool engineEnding_ = false;
  // No engine could be started, or the last one died before answering Start.
  std::atomic<bool> noEngine_{false};
};

// The process's bridge, created from the configuration when there is none yet. Null when it
// cannot be created (the configuration names no folder, or log.txt cannot be opened); a
// later call tries again.
EngineBridge* GetOrCreateBridge(const BridgeConfig& config);
// The process's bridge if there is one, else null; never creates one.
EngineBridge* ExistingBridge();
// Ends the engine of the process's bridge, if there is one: the module is being
// unloaded, or the process is ending.
void ShutdownBridgeEngine(bool processEnding);

}  // namespace tavo::bridge
