// The dispatcher of the engine's output: the part of the bridge that owns the log, the
// pending reply handler, the busy and game-running flags, the record file paths and the
// listeners. Pure logic, shared by the bridge and its tests.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "tavo/bridge/dispatcher.h"

namespace tavo::bridge {

// The part of the bridge that handles the engine's output: the log, the pending reply
// handler, the busy and game-running flags, the record file paths and the listeners.
// Paths are UTF-8.
class BridgeCore : public OutputSink {
 public:
  // Creates or truncates log.txt in the directory; throws IO::FileNotOpenException.
  explicit BridgeCore(const char* directory);
  ~BridgeCore() override;

  void OnOutput(const char* data, size_t size) override;
  // A command gave up waiting: its reply, whatever of it came, is dropped (kekka.txt is
  // closed), so that the next command's reply is read from its start. A result reply
  // dropped this way still ends the game.
  void AbandonReply();

  const char* Directory() const { return directory_.c_str(); }
  const char* SummaryPath() const { return summaryPath_.c_str(); }
  const char* ResultPath() const { return resultPath_.c_str(); }
  ListenerList& Listeners() { return listeners_; }
  GameEvents* Events() { return events_; }
  // Whether a reply is being followed.
  bool ReplyPending() const;

  // Both threads write the two flags (see the thread map in bridge.h), through these.
  // busy: a command's reply is awaited. The host's thread sets it before it writes a
  // command and clears it when it gives up; the worker clears it once the reply is handled.
  void AwaitReply() { busy_ = 1; }
  void GiveUpReply() { busy_ = 0; }
  bool Busy() const { return busy_ != 0; }
  // gameRunning: from Start until the game's result reply has been handled (or dropped).
  void GameStarts() { gameRunning_ = 1; }
  void GameEnds() { gameRunning_ = 0; }
  bool GameRunning() const { return gameRunning_ != 0; }

 protected:
  // Called on the worker right after busy has been cleared.
  virtual void BusyCleared() {}

 private:
  // One line of output; true when it completed a reply.
  bool OnLine(const char* line);

  GameEvents* events_;
  std::string directory_;
  std::string summaryPath_;
  std::string resultPath_;
  // The reader thread follows replies; a host thread may give one up.
  mutable std::mutex replyLock_;
  std::unique_ptr<ReplyHandler> pending_;
  LineAssembler lines_;
  std::unique_ptr<TextFileWriter> log_;
  ListenerList listeners_;
  std::atomic<uint8_t> busy_{0};
  std::atomic<uint8_t> gameRunning_{0};
};

}  // namespace tavo::bridge
