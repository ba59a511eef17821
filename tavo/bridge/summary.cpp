#include "tavo/bridge/summary.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "tavo/bridge/text_io.h"
#include "tavo/protocol/protocol.h"

namespace tavo::bridge {

namespace {

bool IsAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

char* SkipSpaces(char* p) {
  while (*p == ' ') ++p;
  return p;
}

// A part is readable when it holds something besides spaces.
bool HasText(const char* p) {
  if (!p) return false;
  while (*p == ' ') ++p;
  return *p != '\0';
}

char* StripParentheses(char* text) {
  if (*text == '(') ++text;
  if (char* close = std::strchr(text, ')')) *close = '\0';
  return text;
}

// Splits text at sep into up to n parts; parts not found stay null.
void Split(char* text, char sep, char** parts, int n) {
  parts[0] = text;
  int found = 1;
  if (*text == '\0') return;
  for (char* p = text + 1; *p && found < n; ++p) {
    if (*p == sep) {
      *p = '\0';
      parts[found++] = SkipSpaces(p + 1);
      if (*parts[found - 1] == '\0') break;
      p = parts[found - 1] - 1;  // the scan goes on at the new part's start
    }
  }
}

}  // namespace

bool IntItem::Read(int32_t& out) const {
  if (!HasText(text_)) return false;
  out = std::atoi(text_);
  return true;
}

void PairItem::SetValue(char* text) { Split(StripParentheses(text), ':', parts_, 2); }

bool PairItem::Read(int32_t out[2]) const {
  if (!HasText(parts_[0]) || !HasText(parts_[1])) return false;
  out[0] = std::atoi(parts_[0]);
  out[1] = std::atoi(parts_[1]);
  return true;
}

void TripleItem::SetValue(char* text) { Split(StripParentheses(text), ',', parts_, 3); }

bool TripleItem::Read(double out[3]) const {
  for (char* p : parts_) {
    if (!HasText(p)) return false;
  }
  for (int i = 0; i < 3; ++i) out[i] = std::atof(parts_[i]);
  return true;
}

void SummaryReader::ParseLine(char* line) {
  if (!IsAsciiAlnum(line[0])) return;
  char* colon = std::strchr(line + 1, ':');
  if (!colon) return;  // no value: nothing to read
  *colon = '\0';
  char* value = SkipSpaces(colon + 1);
  const char* key = line;

  struct Entry {
    const char* word;
    SummaryItem* (*make)();
  };
  static const Entry kItems[] = {
      {tavo::protocol::kSummaryInfo, [] { return static_cast<SummaryItem*>(new InfoItem); }},
      {tavo::protocol::kSummaryPoint, [] { return static_cast<SummaryItem*>(new PointItem); }},
      {tavo::protocol::kSummaryForecast, [] { return static_cast<SummaryItem*>(new ForecastItem); }},
      {tavo::protocol::kSummaryHands, [] { return static_cast<SummaryItem*>(new HandsItem); }},
      {tavo::protocol::kSummaryPattern, [] { return static_cast<SummaryItem*>(new PatternItem); }},
      {tavo::protocol::kSummaryData, [] { return static_cast<SummaryItem*>(new DataItem); }},
      {tavo::protocol::kSummaryNextHand, [] { return static_cast<SummaryItem*>(new NextHandItem); }},
  };
  for (const auto& e : kItems) {
    if (std::strncmp(key, e.word, std::strlen(e.word)) == 0) {
      std::unique_ptr<SummaryItem> item(e.make());
      item->SetValue(value);
      item->Apply(*record_);
      return;
    }
  }
}

bool SummaryReader::Read(const char* path) {
  try {
    FileLineReader reader(path);
    ReadFrom(reader);
    return true;
  } catch (const IO::Exception&) {
    return false;
  }
}

void SummaryReader::ReadFrom(LineSource& lines) {
  for (int n = 0; n < kMaxPieces && lines.Next(); ++n) ParseLine(lines.Current());
}

}  // namespace tavo::bridge
