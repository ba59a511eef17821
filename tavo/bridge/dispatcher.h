// The reply protocol of the engine: splitting output chunks into lines, the reply
// handlers, the game events and their listeners, and the dispatcher that ties them
// together. Pure logic, shared by the bridge and its tests.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "tavo/bridge/summary.h"
#include "tavo/bridge/text_io.h"

// The lines of one chunk of engine output, cut in place at line feeds.
class TextLines : public LineSource {
 public:
  explicit TextLines(char* text) : text_(text) {}
  bool Next() override;
  char* Current() override { return current_; }

 private:
  char* text_;
  char* current_ = nullptr;
  char* rest_ = nullptr;
  bool started_ = false;
};

class GameListener {
 public:
  virtual ~GameListener() = default;
  virtual void OnNewGame() = 0;
  virtual void OnSummary() = 0;
  virtual void OnResult() = 0;
  virtual void OnEnd() = 0;
};

class GameEvents {
 public:
  virtual ~GameEvents() = default;
  virtual void NewGame() = 0;
  virtual void SummaryReady(const char* path) = 0;
  virtual void ResultReady(const char* path) = 0;
  virtual void Ended() = 0;
};

// The attached listeners, in attach order, and the parsed summary. Attach, Detach and
// the walks are serialised; a listener operation only posts, so holding the lock while
// calling it is safe.
class ListenerList : public GameEvents {
 public:
  void Attach(GameListener* listener);
  void Detach(GameListener* listener);
  void NewGame() override;
  void SummaryReady(const char* path) override;
  void ResultReady(const char* path) override;
  void Ended() override;
  int32_t Info() const;
  SummaryRecord Summary() const;
  size_t Count() const;

 private:
  template <typename F>
  void ForEach(F f);
  mutable std::mutex lock_;
  std::vector<GameListener*> listeners_;
  SummaryRecord summary_;
};

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // One chunk of engine output as a zero-terminated string.
  virtual void OnOutput(const char* text) = 0;
};

class BridgeCore;

class ReplyHandler {
 public:
  explicit ReplyHandler(BridgeCore* bridge) : bridge_(bridge) {}
  virtual ~ReplyHandler() = default;
  // Reads lines; true once the reply is complete, false when the lines ran out first.
  virtual bool Consume(LineSource& lines) = 0;
  virtual void Complete() = 0;

 protected:
  BridgeCore* bridge_;
};

class NextHandWaiter : public ReplyHandler {
 public:
  using ReplyHandler::ReplyHandler;
  bool Consume(LineSource& lines) override;
  void Complete() override;
};

class ResultCollector : public ReplyHandler {
 public:
  using ReplyHandler::ReplyHandler;
  bool Consume(LineSource& lines) override;
  void Complete() override;
  static bool IsTableHeader(const char* line);

 private:
  int32_t state_ = -1;
  std::unique_ptr<TextFileWriter> writer_;
};

class EndAck : public ReplyHandler {
 public:
  using ReplyHandler::ReplyHandler;
  bool Consume(LineSource&) override { return true; }
  void Complete() override {}
};

// Makes the handler of a reply from its first line, or none.
std::unique_ptr<ReplyHandler> MakeHandler(const char* line, BridgeCore* bridge);

// The part of the bridge that handles the engine's output: the log, the pending reply
// handler, the busy and game-running flags, the record file paths and the listeners.
class BridgeCore : public OutputSink {
 public:
  static constexpr size_t kPathSize = 1024;
  static constexpr size_t kChunkSize = 4096;

  // Creates or truncates log.txt in the directory; throws IO::FileNotOpenException.
  explicit BridgeCore(const char* directory);
  ~BridgeCore() override;

  void OnOutput(const char* text) override;

  const char* Directory() const { return directory_; }
  const char* SummaryPath() const { return summaryPath_; }
  const char* ResultPath() const { return resultPath_; }
  ListenerList& Listeners() { return listeners_; }
  GameEvents* Events() { return events_; }

  std::atomic<uint8_t> busy{0};
  std::atomic<uint8_t> gameRunning{0};

 protected:
  // Called on the worker right after busy has been cleared.
  virtual void BusyCleared() {}

 private:
  GameEvents* events_;
  char directory_[kPathSize] = {};
  char summaryPath_[kPathSize] = {};
  char resultPath_[kPathSize] = {};
  std::unique_ptr<ReplyHandler> pending_;
  std::unique_ptr<TextFileWriter> log_;
  ListenerList listeners_;
  char work_[kChunkSize] = {};
};

// Whether a line begins with a literal.
bool StartsWith(const char* line, const char* literal);
