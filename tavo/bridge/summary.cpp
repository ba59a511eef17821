#include "tavo/bridge/summary.h"

namespace tavo::bridge {

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
