// libFuzzer target: the summary parser over arbitrary file contents, read from memory
// through the same line reader that reads the file.
#include <cstdint>
#include <cstdio>
#include <string>

#include "tavo/bridge/summary.h"

using namespace tavo::bridge;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  SummaryRecord record;
  SummaryReader reader(&record);
  FILE* stream = size ? fmemopen(text.data(), text.size(), "r") : nullptr;
  if (stream) {
    StreamLineReader lines(stream);
    reader.ReadFrom(lines);
    std::fclose(stream);
  }
  // Single lines straight into the parser as well, including ones without a newline.
  text.push_back('\0');
  reader.ParseLine(text.data());
  return 0;
}
