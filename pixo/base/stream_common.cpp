// What the streams of both platforms share: no places to write at but in a file, and how
// a finished temporary file takes its name.
#include "pixo/base/errors.h"
#include "pixo/base/file_names.h"
#include "pixo/base/stream.h"

namespace pixo {

void OutStream::WriteAt(uint64_t, const void*, size_t) { RaiseWriteError(); }

void FileStream::TakeName() {
  if (existing_ == Existing::Replace) {
    if (!MoveInPlace(name_, true)) RaiseFCreate(ToUtf8(name_));
    return;
  }
  for (int k = 0; k <= 999; ++k) {
    const std::wstring candidate = k == 0 ? name_ : NumberedName(name_, k);
    if (MoveInPlace(candidate, false)) {
      name_ = candidate;
      return;
    }
    if (!NameWasTaken()) break;
  }
  // No free name: the picture is not kept.
  Discard();
  RaiseFCreate(ToUtf8(name_));
}

}  // namespace pixo
