// The engine program as a child process, spoken to over pipes as a host's script would:
// its standard input takes commands, its output is read line by line. POSIX only; used by
// the engine's unit tests and its benchmark.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace testsupport {

class EnginePipe {
 public:
  // Starts the program in folder with TAVO_SEED=seed; Started() tells whether it did.
  EnginePipe(const std::string& program, const std::string& folder, uint64_t seed);
  ~EnginePipe();  // closes its input, reads what is left and waits for its end
  EnginePipe(const EnginePipe&) = delete;
  EnginePipe& operator=(const EnginePipe&) = delete;

  bool Started() const { return pid_ > 0 && to_ >= 0 && from_; }
  bool Send(const std::string& command);  // written whole, or false
  // The next line with its line end, or "<eof>" when the output has ended.
  std::string Line();
  // Closes the input and waits: the exit code, or -1 when the program did not exit.
  int Close();

 private:
  pid_t pid_ = -1;
  int to_ = -1;
  FILE* from_ = nullptr;
};

// A folder of its own under the system's temporary folder, removed with what it holds.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& purpose);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace testsupport
