// libFuzzer target: the summary parser over arbitrary file contents.
#include <cstdio>
#include <cstdint>
#include <string>
#include <unistd.h>

#include "engine/summary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/fuzz_summary_" + std::to_string(getpid()) + ".txt";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  SummaryRecord record;
  SummaryReader reader(&record);
  reader.Read(path.c_str());
  // Single lines straight into the parser as well, including ones without a newline.
  std::string line(reinterpret_cast<const char*>(data), size);
  line.push_back('\0');
  reader.ParseLine(line.data());
  return 0;
}
