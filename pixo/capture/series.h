// A series of shots on a beat (/SR:n,seconds), stopped between shots by the console.
//
// Threads: the run's own thread takes the shots; the system calls the console handler on
// a thread of its own (Ctrl+C, Ctrl+Break, the console closed, the session ending). The
// handler asks for the stop and waits until no shot is being taken or written, so that
// no half file and no temporary file is left behind.
#pragma once
#include <functional>

#include "pixo/capture/win_handles.h"

namespace pixo {

class Series {
 public:
  // Attaches to the console of the process that started the run (a batch file, start
  // /wait), so that Ctrl+C there reaches it, and handles its events until destroyed.
  Series();
  ~Series();
  Series(const Series&) = delete;
  Series& operator=(const Series&) = delete;

  // Takes shots 1 to n, each starting on its own beat however long the one before took,
  // until the console asks for the stop.
  void Run(int shots, int intervalMs, const std::function<void(int shot)>& take);

 private:
  static BOOL WINAPI OnConsoleEvent(DWORD);
  KernelHandle stop_;     // set: no shot is to start
  KernelHandle between_;  // set while no shot is being taken or written
};

}  // namespace pixo
