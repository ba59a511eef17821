// The reply protocol of the engine: splitting output chunks into lines, the reply
// handlers, the game events and their listeners. Pure logic, shared by the bridge and its
// tests; the dispatcher that ties them together is BridgeCore (bridge_core.h).
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tavo/bridge/summary.h"
#include "tavo/bridge/text_io.h"

namespace tavo::bridge {

// Cuts engine output into lines wherever the reads split it: a line is complete at its
// line feed, and an unfinished last line waits for the next read. A line longer than
// kMaxLine comes in pieces of that length, so garbage without line feeds cannot grow it
// without bound.
class LineAssembler {
 public:
  static constexpr size_t kMaxLine = 4096;

  // Appends a read; calls take(line) with each completed line, zero-terminated and
  // without its line feed (a carriage return before it stays). take returns false to
  // drop the rest of the read, unfinished line included.
  template <typename Take>
  void Feed(const char* data, size_t size, Take take) {
    for (size_t i = 0; i < size; ++i) {
      if (data[i] != '\n') {
        partial_ += data[i];
        if (partial_.size() < kMaxLine) continue;
      }
      const bool more = take(partial_.c_str());
      partial_.clear();
      if (!more) return;
    }
  }
  // Forgets an unfinished line.
  void Clear() { partial_.clear(); }
  const std::string& Unfinished() const { return partial_; }

 private:
  std::string partial_;
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
  // The game is over: INFO reads as the result reply's (2), whatever the summary held.
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
  // One read of engine output.
  virtual void OnOutput(const char* data, size_t size) = 0;
};

class BridgeCore;

// Follows one reply after its first line.
class ReplyHandler {
 public:
  explicit ReplyHandler(BridgeCore* bridge) : bridge_(bridge) {}
  virtual ~ReplyHandler() = default;
  // True when the first line is the whole reply.
  virtual bool Begin() { return false; }
  // Takes the reply's next line; true once the reply is complete.
  virtual bool TakeLine(const char* line) = 0;
  virtual void Complete() = 0;
  // Whether the reply says that the game is over.
  virtual bool EndsGame() const { return false; }

 protected:
  BridgeCore* bridge_;
};

// Follows a reply up to its "NEXT HAND" line; then the summary is read, unless the reply
// said that the engine could not write it (the last good one is kept, and no summary
// event is raised).
class NextHandWaiter : public ReplyHandler {
 public:
  using ReplyHandler::ReplyHandler;
  bool TakeLine(const char* line) override;
  void Complete() override;

 private:
  bool summaryWritten_ = true;
};

// Writes the result table into kekka.txt, from the line after its header to the line
// before the closing "player" line.
class ResultCollector : public ReplyHandler {
 public:
  using ReplyHandler::ReplyHandler;
  bool TakeLine(const char* line) override;
  void Complete() override;
  bool EndsGame() const override { return true; }
  static bool IsTableHeader(const char* line);

 private:
  int32_t state_ = -1;
  std::unique_ptr<TextFileWriter> writer_;
};

class EndAck : public ReplyHandler {
 public:
  using ReplyHandler::ReplyHandler;
  bool Begin() override { return true; }
  bool TakeLine(const char*) override { return true; }
  void Complete() override {}
};

// Makes the handler of a reply from its first line, or none.
std::unique_ptr<ReplyHandler> MakeHandler(const char* line, BridgeCore* bridge);

// Whether a line begins a reply of its own ("INFO:" or "end").
bool StartsReply(const char* line);
// Whether a line begins with a literal.
bool StartsWith(const char* line, const char* literal);

}  // namespace tavo::bridge
