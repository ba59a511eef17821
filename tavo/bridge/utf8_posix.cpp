// UTF-8 names are the system's own here.
#include "tavo/bridge/text_io.h"

namespace tavo::bridge {

std::FILE* OpenFileUtf8(const char* name, const char* mode) { return std::fopen(name, mode); }

}  // namespace tavo::bridge
