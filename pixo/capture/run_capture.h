#pragma once
#include <string>
#include <vector>

namespace pixo {

// One capture run over the command-line arguments (the program item excluded).
void RunCapture(const std::vector<std::wstring>& args);

// Moves the cursor three times along the screen's diagonal and waits 3 seconds.
void JiggleCursor();

}  // namespace pixo
