// Exceptions of file access: no data, no message, thrown by value.
#pragma once

namespace tavo::bridge {

namespace IO {
class Exception {};
class FileException : public Exception {};
class FileNotOpenException : public FileException {};
}  // namespace IO

}  // namespace tavo::bridge
