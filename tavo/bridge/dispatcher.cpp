#include "tavo/bridge/dispatcher.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#define DIR_SEP "\\"
#else
#define DIR_SEP "/"
#endif

bool StartsWith(const char* line, const char* literal) {
  return std::strncmp(line, literal, std::strlen(literal)) == 0;
}

// ---- TextLines ----

bool TextLines::Next() {
  if (!started_) {
    started_ = true;
    current_ = text_;
    while (*current_ == '\n') ++current_;
  } else {
    if (!rest_) return false;
    current_ = rest_;
  }
  char* lf = std::strchr(current_, '\n');
  if (lf) {
    *lf = '\0';
    rest_ = lf + 1;
  } else {
    rest_ = nullptr;
  }
  return true;
}

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
  ForEach([](GameListener* l) { l->OnResult(); });
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

bool NextHandWaiter::Consume(LineSource& lines) {
  while (lines.Next()) {
    if (StartsWith(lines.Current(), "NEXT HAND")) return true;
  }
  return false;
}

void NextHandWaiter::Complete() { bridge_->Events()->SummaryReady(bridge_->SummaryPath()); }

bool ResultCollector::IsTableHeader(const char* line) {
  return std::strlen(line) > 10 && (StartsWith(line + 2, "look-n-2") || StartsWith(line + 2, "atodasi"));
}

bool ResultCollector::Consume(LineSource& lines) {
  while (lines.Next()) {
    const char* line = lines.Current();
    if (IsTableHeader(line)) {
      state_ = 0;
      writer_.reset();
      try {
        writer_ = std::make_unique<TextFileWriter>(bridge_->ResultPath());
      } catch (const IO::Exception&) {
        // kekka.txt cannot be created: the table is read to its end all the same.
        writer_.reset();
      }
    } else if (state_ == 0 && StartsWith(line, "player")) {
      state_ = -1;
      writer_.reset();
      return true;
    } else if (writer_ && line[0] != '\0') {
      writer_->WriteLine(line);
    }
  }
  return false;
}

void ResultCollector::Complete() {
  bridge_->Events()->ResultReady(bridge_->ResultPath());
  bridge_->gameRunning = 0;
}

std::unique_ptr<ReplyHandler> MakeHandler(const char* line, BridgeCore* bridge) {
  if (StartsWith(line, "INFO:1") || StartsWith(line, "INFO:0")) return std::make_unique<NextHandWaiter>(bridge);
  if (StartsWith(line, "INFO:2")) return std::make_unique<ResultCollector>(bridge);
  if (StartsWith(line, "end")) return std::make_unique<EndAck>(bridge);
  return nullptr;
}

// ---- the dispatcher ----

BridgeCore::BridgeCore(const char* directory) : events_(&listeners_) {
  std::snprintf(directory_, sizeof directory_, "%s", directory);
  std::snprintf(summaryPath_, sizeof summaryPath_, "%s" DIR_SEP "summary.txt", directory_);
  std::snprintf(resultPath_, sizeof resultPath_, "%s" DIR_SEP "kekka.txt", directory_);
  char logName[2048];
  std::snprintf(logName, sizeof logName, "%s" DIR_SEP "%s", directory_, "log.txt");
  log_ = std::make_unique<TextFileWriter>(logName);
}

BridgeCore::~BridgeCore() = default;

void BridgeCore::OnOutput(const char* text) {
  log_->WriteLine(text);
  log_->Flush();
  std::snprintf(work_, sizeof work_, "%s", text);
  TextLines lines(work_);
  if (!pending_) {
    while (lines.Next()) {
      const char* line = lines.Current();
      if (StartsWith(line, "player")) continue;
      pending_ = MakeHandler(line, this);
      if (pending_) break;
    }
  }
  if (pending_ && pending_->Consume(lines)) {
    pending_->Complete();
    pending_.reset();
    busy = 0;
    BusyCleared();
    return;
  }
  if (gameRunning == 0) {
    busy = 0;
    BusyCleared();
  }
}
