#include "tavo/bridge/bridge_core.h"

#include "tavo/protocol/protocol.h"

namespace tavo::bridge {

#ifdef _WIN32
#define DIR_SEP "\\"
#else
#define DIR_SEP "/"
#endif


// ---- the dispatcher ----

BridgeCore::BridgeCore(const char* directory)
    : events_(&listeners_),
      directory_(directory),
      summaryPath_(directory_ + DIR_SEP + protocol::kSummaryFile),
      resultPath_(directory_ + DIR_SEP + protocol::kResultFile),
      log_(std::make_unique<TextFileWriter>((directory_ + DIR_SEP + protocol::kLogFile).c_str())) {}

BridgeCore::~BridgeCore() = default;

bool BridgeCore::ReplyPending() const {
  std::lock_guard<std::mutex> hold(replyLock_);
  return pending_ != nullptr;
}

void BridgeCore::AbandonReply() {
  std::lock_guard<std::mutex> hold(replyLock_);
  if (pending_ && pending_->EndsGame()) GameEnds();
  pending_.reset();
  lines_.Clear();
}

bool BridgeCore::OnLine(const char* line) {
  // A reply that begins while another is still followed: the other never ends.
  if (pending_ && StartsReply(line)) pending_.reset();
  if (!pending_) {
    if (StartsWith(line, protocol::kTableEnd)) return false;
    pending_ = MakeHandler(line, this);
    if (!pending_ || !pending_->Begin()) return false;
  } else if (!pending_->TakeLine(line)) {
    return false;
  }
  pending_->Complete();
  pending_.reset();
  return true;
}

void BridgeCore::OnOutput(const char* data, size_t size) {
  std::lock_guard<std::mutex> hold(replyLock_);
  log_->Write(data, size);
  log_->WriteLine("");
  log_->Flush();
  bool completed = false;
  // What follows a completed reply in the same read is not looked at.
  lines_.Feed(data, size, [&](const char* line) { return !(completed = OnLine(line)); });
  // A completed reply answers the command. Without a game, so does any output at all: the
  // command then was Q, or a D that a result reply already ended, and whatever the engine
  // says is its answer; waiting for a reply of the protocol that may never come (an
  // "ERROR:" line, an engine of another version) would only hold the host until the limit.
  if (completed || !GameRunning()) {
    busy_ = 0;
    BusyCleared();
  }
}

}  // namespace tavo::bridge
