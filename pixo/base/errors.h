// Errors of the capture program. Every failure travels as a pixo::Error carrying the
// class name shown in the error box and a UTF-8 message; one handler at the top shows it.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace pixo {

// The kinds of failure. Each has one row in the table of errors.cpp: the class name its
// error box shows, its exit code with /Q and its message when none is given.
enum class ErrorKind : uint8_t {
  FCreate,          // a file or standard output cannot be created
  Write,            // writing failed (a full disk, a closed pipe)
  Jpeg,             // the JPEG library failed
  Png,              // the PNG writer failed
  Gif,              // the GIF writer was given an image it cannot write
  GifException,     // the GIF writer failed
  Clipboard,        // the clipboard cannot be had
  Target,           // nothing to capture: no such monitor or window, a rectangle off the screen
  Printer,          // no default printer, or it is not valid
  InvalidArgument,  // a switch value that is not valid
  DibImage,         // an image in a pixel format the conversion does not know
  OutOfResources,   // the system refused a resource
  IntOverflow,      // a size or offset beyond 32 bits
  OutOfMemory,      // memory ran out
  Other,            // any other exception
};

struct ErrorKindInfo {
  const char* className;
  int quietExitCode;
  const char* message;  // when none is given
};
const ErrorKindInfo& InfoOf(ErrorKind kind);

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, const std::string& message, const void* where)
      : std::runtime_error(message), kind_(kind), where_(where) {}
  ErrorKind Kind() const { return kind_; }
  std::string ClassName() const { return InfoOf(kind_).className; }
  std::string Message() const { return what(); }
  // Code address at which the error was raised (0 when unknown).
  const void* Where() const { return where_; }

 private:
  ErrorKind kind_;
  const void* where_;
};

// Raising helpers; each records the caller's code address as the error's location.
[[noreturn]] void Raise(ErrorKind kind, const std::string& message);
// With the kind's own message.
[[noreturn]] void Raise(ErrorKind kind);
[[noreturn]] void RaiseFCreate(const std::string& utf8Name);
[[noreturn]] void RaiseWriteError();
[[noreturn]] void RaiseIntOverflow();

// The exit code of a run ended by an error of the kind under /Q: 1 the file or output, 2
// nothing to capture, 3 printing, 4 a switch, 5 anything else.
int QuietExitCode(ErrorKind kind);

namespace msg {
inline constexpr const char* kCannotCreateFile = "ﾌｧｲﾙ %s を作成できません";
inline constexpr const char* kWriteError = "ｽﾄﾘｰﾑ書き込みｴﾗｰ";
inline constexpr const char* kNoDefaultPrinter = "ﾃﾞﾌｫﾙﾄ ﾌﾟﾘﾝﾀが存在しません";
inline constexpr const char* kPrinterNotValid = "選択したﾌﾟﾘﾝﾀは有効ではありません";
inline constexpr const char* kJpegError = "JPEG ｴﾗｰ #%d";
inline constexpr const char* kOutOfResources = "ｼｽﾃﾑ ﾘｿｰｽが足りません";
inline constexpr const char* kIntOverflow = "整数のｵｰﾊﾞｰﾌﾛｰ";
inline constexpr const char* kOutOfMemory = "ﾒﾓﾘが足りません";
inline constexpr const char* kBadSwitch = "ｽｲｯﾁ %s の値が正しくありません";
inline constexpr const char* kNoSuchMonitor = "ﾓﾆﾀ %s は存在しません";
inline constexpr const char* kNoSuchWindow = "ｳｨﾝﾄﾞｳ %s が見つかりません";
inline constexpr const char* kOutsideTheScreen = "取り込む範囲が画面の外にあります";
inline constexpr const char* kScreenUnread = "画面を読み取れません";
inline constexpr const char* kNothingDrawn = "ｳｨﾝﾄﾞｳ %s は何も描画しません";
inline constexpr const char* kNoStandardOutput = "標準出力がありません";
inline constexpr const char* kClipboard = "ｸﾘｯﾌﾟﾎﾞｰﾄﾞに書き込めません";
inline constexpr const char* kBoxTitle = "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ";
inline constexpr const char* kBoxFormat = "%sがﾓｼﾞｭｰﾙ %s の %p で発生しました。\n%s%s";
inline constexpr const char* kNoFileMapping = "GetFileMap: Cannot Make File Mapping Object";
inline constexpr const char* kNoMapView = "GetFileMap: Cannot Make View of File Map";
}  // namespace msg

// Replaces the first "%s" or "%d" of a message format by a value.
std::string FormatOne(const char* format, const std::string& value);

// The text of the error box: the class name, the module's file name, the location
// relative to the module, and the message with a final "." added when missing.
std::string ErrorBoxText(const std::string& className, const std::string& moduleName, uintptr_t offset,
                         const std::string& message);

// Checked arithmetic for sizes and offsets; overflow raises EIntOverflow.
int32_t CheckedMul(int32_t a, int32_t b);
int32_t CheckedAdd(int32_t a, int32_t b);

}  // namespace pixo
