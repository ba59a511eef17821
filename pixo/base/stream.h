// Byte output streams of the capture program's writers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pixo {

class OutStream {
 public:
  virtual ~OutStream() = default;
  virtual void Write(const void* data, size_t size) = 0;
  void WriteByte(uint8_t b) { Write(&b, 1); }
  void WriteLE16(uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    Write(b, 2);
  }
  void WriteLE32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    Write(b, 4);
  }
  // Whether WriteAt can be used: a file on a disk, not memory or standard output.
  virtual bool Seekable() const { return false; }
  // Writes at a place in the stream, whether the bytes before it are written yet or not; a
  // Write after it follows on from there. Only where Seekable (else raises EWriteError).
  virtual void WriteAt(uint64_t offset, const void* data, size_t size);
};

class MemoryStream : public OutStream {
 public:
  void Write(const void* data, size_t size) override {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
  }
  std::vector<uint8_t> bytes;
};

// A file written whole or not at all. The bytes go to a temporary file in the target's
// folder; Commit moves it over the target (replacing an existing file) once everything
// is written. A stream destroyed without Commit, after a failure, deletes the temporary
// file and leaves the target as it was; so does the system when the process is ended
// before Commit. A name that is a device, a temporary file that
// cannot be created or a target that cannot be replaced raises EFCreateError with the
// name; a failed write raises EWriteError. The name "-" is standard output,
// written directly; it must be redirected to a file or a pipe. Defined per platform.
//
// A stream made to keep existing files never replaces one on Commit: the image takes the
// name, or else the first free of NumberedName's names, by a move that fails where a file
// already is, so that two runs at once never take the same name.
class FileStream : public OutStream {
 public:
  enum class Existing { Replace, Keep };
  explicit FileStream(const std::wstring& name, Existing existing = Existing::Replace);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;
  void Write(const void* data, size_t size) override;
  bool Seekable() const override { return handle_ && !toStandardOutput_; }
  void WriteAt(uint64_t offset, const void* data, size_t size) override;
  void Commit();
  // The name the file took: after Commit, the name asked for or a numbered one.
  const std::wstring& Name() const { return name_; }

 private:
  // Moves the finished temporary file onto its name, or when keeping existing files onto the
  // first free one (stream_common.cpp).
  void TakeName();
  // Moves the temporary file onto the name, replacing a file there or not; false when it
  // stays where it is. Defined per platform, as is:
  bool MoveInPlace(const std::wstring& to, bool replace);
  // whether the last move that failed found the name taken.
  static bool NameWasTaken();
  void Discard();
  bool SetDeleteOnClose(bool remove);
  // Writes what the buffer holds (Windows: small writes are gathered in it, so that a
  // file written row by row takes a few large writes).
  void Flush();
  void WriteThrough(const void* data, size_t size);
  std::vector<uint8_t> buffer_;
  std::wstring name_;
  std::wstring temporary_;
  void* handle_ = nullptr;
  bool toStandardOutput_ = false;
  Existing existing_;
};

// UTF-16 to UTF-8, for messages.
std::string ToUtf8(const std::wstring& s);

}  // namespace pixo
