#include "tavo/bridge/dispatcher.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tavo/bridge/bridge_core.h"
#include "tavo/protocol/protocol.h"

namespace tavo::bridge {


bool StartsWith(const char* line, const char* literal) { return protocol::StartsWith(line, literal); }

bool StartsReply(const char* line) { return StartsWith(line, protocol::kInfo) || StartsWith(line, protocol::kEnd); }

// ---- ListenerList ----

template <typename F>
void ListenerList::ForEach(F f) {
  std::lock_guard<std::mutex> hold(lock_);
  for (GameListener* l : listeners_) f(l);
}

void ListenerList::Attach(GameListener* listener) {
  std::lock_guard<std::mutex> hold(lock_);
  listeners_.push_back(listener);
}

void ListenerList::Detach(GameListener* listener) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = std::find(listeners_.begin(), listeners_.end(), listener);
  if (it != listeners_.end()) listeners_.erase(it);
}

void ListenerList::NewGame() {
  ForEach([](GameListener* l) { l->OnNewGame(); });
}

void ListenerList::SummaryReady(const char* path) {
  std::lock_guard<std::mutex> hold(lock_);
  SummaryRecord updated = summary_;
  SummaryReader reader(&updated);
  if (!reader.Read(path)) return;
  summary_ = updated;
  for (GameListener* l : listeners_) l->OnSummary();
}

void ListenerList::ResultReady(const char*) {
  std::lock_guard<std::mutex> hold(lock_);
  summary_.info = protocol::kGameOver - '0';
  for (GameListener* l : listeners_) l->OnResult();
}

void ListenerList::Ended() {
  ForEach([](GameListener* l) { l->OnEnd(); });
}

int32_t ListenerList::Info() const {
  std::lock_guard<std::mutex> hold(lock_);
  return summary_.info;
}

SummaryRecord ListenerList::Summary() const {
  std::lock_guard<std::mutex> hold(lock_);
  return summary_;
}

size_t ListenerList::Count() const {
  std::lock_guard<std::mutex> hold(lock_);
  return listeners_.size();
}

// ---- handlers ----

bool NextHandWaiter::TakeLine(const char* line) {
  if (StartsWith(line, protocol::kNoSummary)) summaryWritten_ = false;
  return StartsWith(line, protocol::kNextHand);
}

void NextHandWaiter::Complete() {
  if (summaryWritten_) bridge_->Events()->SummaryReady(bridge_->SummaryPath());
}

bool ResultCollector::IsTableHeader(const char* line) {
  return std::strlen(line) > 10 &&
         (StartsWith(line + 2, protocol::kTableHeader) || StartsWith(line + 2, protocol::kTableHeaderOld));
}

bool ResultCollector::TakeLine(const char* line) {
  if (IsTableHeader(line)) {
    state_ = 0;
    writer_.reset();
    try {
      writer_ = std::make_unique<TextFileWriter>(bridge_->ResultPath());
    } catch (const IO::Exception&) {
      // kekka.txt cannot be created: the table is read to its end all the same.
      writer_.reset();
    }
  } else if (state_ == 0 && StartsWith(line, protocol::kTableEnd)) {
    state_ = -1;
    writer_.reset();
    return true;
  } else if (writer_ && line[0] != '\0') {
    writer_->WriteLine(line);
  }
  return false;
}

void ResultCollector::Complete() {
  bridge_->Events()->ResultReady(bridge_->ResultPath());
  bridge_->GameEnds();
}

std::unique_ptr<ReplyHandler> MakeHandler(const char* line, BridgeCore* bridge) {
  if (protocol::IsInfo(line, protocol::kPlayerWon) || protocol::IsInfo(line, protocol::kGoesOn))
    return std::make_unique<NextHandWaiter>(bridge);
  if (protocol::IsInfo(line, protocol::kGameOver)) return std::make_unique<ResultCollector>(bridge);
  if (StartsWith(line, protocol::kEnd)) return std::make_unique<EndAck>(bridge);
  return nullptr;
}

}  // namespace tavo::bridge
