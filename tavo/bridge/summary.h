// Reading the summary file that the engine writes after every hand.
#pragma once
#include "tavo/bridge/text_io.h"
#include "tavo/protocol/summary.h"

namespace tavo::bridge {

using protocol::SummaryRecord;

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
  void ParseLine(char* line) { protocol::ParseSummaryLine(line, *record_); }

 private:
  SummaryRecord* record_;
};

}  // namespace tavo::bridge
