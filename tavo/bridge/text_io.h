// Line-by-line reading and writing of text files over the C library's buffered streams.
// File names are UTF-8 on every platform.
#pragma once
#include <cstddef>
#include <cstdio>

#include "tavo/bridge/io_exceptions.h"

namespace tavo::bridge {

// Opens a file named in UTF-8, as fopen does (defined per platform).
std::FILE* OpenFileUtf8(const char* name, const char* mode);

class LineSource {
 public:
  virtual ~LineSource() = default;
  // Advances to the next line; false when there is none.
  virtual bool Next() = 0;
  // The current line, modifiable, valid until the next call of Next.
  virtual char* Current() = 0;
};

// Reads lines of at most 255 characters from a stream it does not own; a longer line
// comes in several pieces.
class StreamLineReader : public LineSource {
 public:
  explicit StreamLineReader(FILE* stream) : stream_(stream) {}
  ~StreamLineReader() override;
  StreamLineReader(const StreamLineReader&) = delete;
  StreamLineReader& operator=(const StreamLineReader&) = delete;
  bool Next() override;
  char* Current() override { return buffer_; }

 protected:
  FILE* stream_;

 private:
  char* buffer_ = nullptr;
  int capacity_ = 0;
};

// Opens a file for reading in text mode and reads it line by line.
class FileLineReader : public StreamLineReader {
 public:
  explicit FileLineReader(const char* fileName);
  ~FileLineReader() override;
};

// Creates (or truncates) a text file and writes it line by line.
class TextFileWriter {
 public:
  explicit TextFileWriter(const char* fileName);
  ~TextFileWriter();
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;
  void WriteLine(const char* text);
  void Write(const char* data, size_t size);
  void Flush();

 private:
  FILE* stream_;
};

}  // namespace tavo::bridge
