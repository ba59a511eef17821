#pragma once
#include "pixo/capture/cmdline.h"

namespace pixo {

// One capture run, as the command line's switches say: parse once, then delay, grab, save.
void RunCapture(const RunOptions& options);

// Moves the cursor three times along the screen's diagonal and waits 3 seconds.
void JiggleCursor();

}  // namespace pixo
