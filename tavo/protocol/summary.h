// The summary file that the engine writes after every hand, and the one reader of its
// lines, for every program that reads it (the control, the play window, the bench).
// Header only, pure computation.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tavo/protocol/protocol.h"

namespace tavo::protocol {

struct SummaryRecord {
  int32_t info = 0;
  int32_t hands[2] = {0, 0};
  int32_t point[2] = {0, 0};
  double forecast[3] = {0, 0, 0};
  int32_t pattern = 0;
  int32_t data = 0;
  int32_t nextHand = 0;
};

// The parser of one line's value.
class SummaryItem {
 public:
  virtual ~SummaryItem() = default;
  virtual void Apply(SummaryRecord& record) = 0;
  virtual void SetValue(char* text) = 0;
};

class IntItem : public SummaryItem {
 public:
  void SetValue(char* text) override { text_ = text; }

 protected:
  // False when the value has no text to read.
  bool Read(int32_t& out) const;
  char* text_ = nullptr;
};

class PairItem : public SummaryItem {
 public:
  void SetValue(char* text) override;

 protected:
  bool Read(int32_t out[2]) const;
  char* parts_[2] = {nullptr, nullptr};
};

class TripleItem : public SummaryItem {
 public:
  void SetValue(char* text) override;

 protected:
  bool Read(double out[3]) const;
  char* parts_[3] = {nullptr, nullptr, nullptr};
};

class InfoItem : public IntItem {
 public:
  void Apply(SummaryRecord& r) override { Read(r.info); }
};
class PatternItem : public IntItem {
 public:
  void Apply(SummaryRecord& r) override { Read(r.pattern); }
};
class DataItem : public IntItem {
 public:
  void Apply(SummaryRecord& r) override { Read(r.data); }
};
class NextHandItem : public IntItem {
 public:
  void Apply(SummaryRecord& r) override { Read(r.nextHand); }
};
class PointItem : public PairItem {
 public:
  void Apply(SummaryRecord& r) override { Read(r.point); }
};
class HandsItem : public PairItem {
 public:
  void Apply(SummaryRecord& r) override { Read(r.hands); }
};
class ForecastItem : public TripleItem {
 public:
  void Apply(SummaryRecord& r) override { Read(r.forecast); }
};

namespace summary_detail {

inline bool IsAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

inline char* SkipSpaces(char* p) {
  while (*p == ' ') ++p;
  return p;
}

// A part is readable when it holds something besides spaces.
inline bool HasText(const char* p) {
  if (!p) return false;
  while (*p == ' ') ++p;
  return *p != '\0';
}

inline char* StripParentheses(char* text) {
  if (*text == '(') ++text;
  if (char* close = std::strchr(text, ')')) *close = '\0';
  return text;
}

// Splits text at sep into up to n parts; parts not found stay null.
inline void Split(char* text, char sep, char** parts, int n) {
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

}  // namespace summary_detail

inline bool IntItem::Read(int32_t& out) const {
  if (!summary_detail::HasText(text_)) return false;
  out = std::atoi(text_);
  return true;
}

inline void PairItem::SetValue(char* text) {
  summary_detail::Split(summary_detail::StripParentheses(text), ':', parts_, 2);
}

inline bool PairItem::Read(int32_t out[2]) const {
  if (!summary_detail::HasText(parts_[0]) || !summary_detail::HasText(parts_[1])) return false;
  out[0] = std::atoi(parts_[0]);
  out[1] = std::atoi(parts_[1]);
  return true;
}

inline void TripleItem::SetValue(char* text) {
  summary_detail::Split(summary_detail::StripParentheses(text), ',', parts_, 3);
}

inline bool TripleItem::Read(double out[3]) const {
  for (char* p : parts_) {
    if (!summary_detail::HasText(p)) return false;
  }
  for (int i = 0; i < 3; ++i) out[i] = std::atof(parts_[i]);
  return true;
}

// Parses one line of the summary (modified in place) into the record.
inline void ParseSummaryLine(char* line, SummaryRecord& record) {
  if (!summary_detail::IsAsciiAlnum(line[0])) return;
  char* colon = std::strchr(line + 1, ':');
  if (!colon) return;  // no value: nothing to read
  *colon = '\0';
  char* value = summary_detail::SkipSpaces(colon + 1);
  const char* key = line;

  struct Entry {
    const char* word;
    SummaryItem* (*make)();
  };
  static const Entry kItems[] = {
      {kSummaryInfo, [] { return static_cast<SummaryItem*>(new InfoItem); }},
      {kSummaryPoint, [] { return static_cast<SummaryItem*>(new PointItem); }},
      {kSummaryForecast, [] { return static_cast<SummaryItem*>(new ForecastItem); }},
      {kSummaryHands, [] { return static_cast<SummaryItem*>(new HandsItem); }},
      {kSummaryPattern, [] { return static_cast<SummaryItem*>(new PatternItem); }},
      {kSummaryData, [] { return static_cast<SummaryItem*>(new DataItem); }},
      {kSummaryNextHand, [] { return static_cast<SummaryItem*>(new NextHandItem); }},
  };
  for (const auto& e : kItems) {
    if (std::strncmp(key, e.word, std::strlen(e.word)) == 0) {
      std::unique_ptr<SummaryItem> item(e.make());
      item->SetValue(value);
      item->Apply(record);
      return;
    }
  }
}

// Parses a whole summary's text (lines ending in LF or CR LF) into the record.
inline void ParseSummaryText(const std::string& text, SummaryRecord& record) {
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::vector<char> line(text.begin() + std::ptrdiff_t(at), text.begin() + std::ptrdiff_t(end));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line.push_back('\0');
    ParseSummaryLine(line.data(), record);
    at = end + 1;
  }
}

}  // namespace tavo::protocol
