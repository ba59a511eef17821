#include "tests/support/engine_pipe.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace testsupport {

EnginePipe::EnginePipe(const std::string& program, const std::string& folder, uint64_t seed) {
  int in[2], out[2];
  if (pipe(in) != 0) return;
  if (pipe(out) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  const std::string seedText = std::to_string(seed);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[0]);
    close(in[1]);
    close(out[0]);
    close(out[1]);
    if (chdir(folder.c_str()) != 0) _exit(3);
    setenv("TAVO_SEED", seedText.c_str(), 1);
    execl(program.c_str(), "tavo", static_cast<char*>(nullptr));
    _exit(4);
  }
  close(in[0]);
  close(out[1]);
  if (pid_ < 0) {
    close(in[1]);
    close(out[0]);
    return;
  }
  to_ = in[1];
  from_ = fdopen(out[0], "r");
}

EnginePipe::~EnginePipe() {
  if (pid_ > 0) Close();
  if (from_) std::fclose(from_);
}

bool EnginePipe::Send(const std::string& command) {
  return to_ >= 0 && write(to_, command.data(), command.size()) == ssize_t(command.size());
}

std::string EnginePipe::Line() {
  char buffer[512];
  if (!from_ || !std::fgets(buffer, sizeof buffer, from_)) return "<eof>";
  return buffer;
}

int EnginePipe::Close() {
  if (to_ >= 0) close(to_);
  to_ = -1;
  if (pid_ <= 0) return -1;
  // What the program still writes is read, so that it never waits on a full pipe.
  while (Line() != "<eof>") {
  }
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ScratchFolder::ScratchFolder(const std::string& purpose) {
  std::string pattern = (std::filesystem::temp_directory_path() / (purpose + "-XXXXXX")).string();
  if (mkdtemp(pattern.data())) path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace testsupport
