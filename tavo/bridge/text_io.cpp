#include "tavo/bridge/text_io.h"

#include <cstdlib>
#include <cstring>

namespace tavo::bridge {

StreamLineReader::~StreamLineReader() {
  std::free(buffer_);
  buffer_ = nullptr;
  capacity_ = 0;
}

bool StreamLineReader::Next() {
  if (!buffer_) {
    buffer_ = static_cast<char*>(std::malloc(256));
    if (!buffer_) return false;
    capacity_ = 256;
  }
  if (!stream_ || !std::fgets(buffer_, capacity_, stream_)) {
    // End of file or a read error: either way the reading ends here.
    buffer_[0] = '\0';
    return false;
  }
  const size_t n = std::strlen(buffer_);
  if (n > 0 && buffer_[n - 1] == '\n') buffer_[n - 1] = '\0';
  return true;
}

FileLineReader::FileLineReader(const char* fileName) : StreamLineReader(OpenFileUtf8(fileName, "r")) {
  if (!stream_) throw IO::FileNotOpenException();
}

FileLineReader::~FileLineReader() {
  if (stream_) std::fclose(stream_);
  stream_ = nullptr;
}

TextFileWriter::TextFileWriter(const char* fileName) : stream_(OpenFileUtf8(fileName, "w")) {
  if (!stream_) throw IO::FileNotOpenException();
}

TextFileWriter::~TextFileWriter() {
  if (stream_) std::fclose(stream_);
  stream_ = nullptr;
}

void TextFileWriter::WriteLine(const char* text) {
  if (!stream_) return;
  std::fputs(text, stream_);
  std::fputc('\n', stream_);
}

void TextFileWriter::Write(const char* data, size_t size) {
  if (stream_ && size) std::fwrite(data, 1, size, stream_);
}

void TextFileWriter::Flush() {
  if (stream_) std::fflush(stream_);
}

}  // namespace tavo::bridge
