// The summary file that the engine writes after every hand, and its parser.
#pragma once
#include <cstdint>

#include "tavo/bridge/text_io.h"

namespace tavo::bridge {

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

class SummaryReader {
 public:
  // The engine's summary has a few short lines; a file that goes on (a runaway or foreign
  // file) is read no further than this many pieces of at most 255 characters.
  static constexpr int kMaxPieces = 1024;

  explicit SummaryReader(SummaryRecord* record) : record_(record) {}
  // Reads the file into the record; false when it cannot be opened.
  bool Read(const char* path);
  // Reads the lines of a source into the record, at most kMaxPieces of them.
  void ReadFrom(LineSource& lines);
  // Parses one line (modified in place).
  void ParseLine(char* line);

 private:
  SummaryRecord* record_;
};

}  // namespace tavo::bridge
