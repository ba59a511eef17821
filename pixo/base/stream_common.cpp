// What the streams of both platforms share: no places to write at but in a file, whether
// the run keeps existing files, and how a finished temporary file takes its name.
#include "pixo/base/errors.h"
#include "pixo/base/file_names.h"
#include "pixo/base/stream.h"

namespace pixo {

namespace {
bool g_keepExisting = false;
std::wstring g_lastWritten;
}  // namespace

void OutStream::WriteAt(uint64_t, const void*, size_t) { RaiseWriteError(); }

void KeepExistingFiles(bool keep) { g_keepExisting = keep; }
const std::wstring& LastWrittenName() { return g_lastWritten; }

void FileStream::TakeName() {
  if (!g_keepExisting) {
    if (!MoveInPlace(name_, true)) RaiseFCreate(ToUtf8(name_));
    g_lastWritten = name_;
    return;
  }
  for (int k = 0; k <= 999; ++k) {
    const std::wstring candidate = k == 0 ? name_ : NumberedName(name_, k);
    if (MoveInPlace(candidate, false)) {
      g_lastWritten = candidate;
      return;
    }
    if (!NameWasTaken()) break;
  }
  // No free name: the picture is not kept.
  Discard();
  RaiseFCreate(ToUtf8(name_));
}

}  // namespace pixo
