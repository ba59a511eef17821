// Errors of the capture program. Every failure travels as a pixo::Error carrying the
// class name shown in the error box and a UTF-8 message; one handler at the top shows it.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace pixo {

class Error : public std::runtime_error {
 public:
  Error(std::string className, const std::string& message, const void* where)
      : std::runtime_error(message), className_(std::move(className)), where_(where) {}
  const std::string& ClassName() const { return className_; }
  std::string Message() const { return what(); }
  // Code address at which the error was raised (0 when unknown).
  const void* Where() const { return where_; }

 private:
  std::string className_;
  const void* where_;
};

// Raising helpers; each records the caller's code address as the error's location.
[[noreturn]] void Raise(const char* className, const std::string& message);
[[noreturn]] void RaiseFCreate(const std::string& utf8Name);
[[noreturn]] void RaiseWriteError();
[[noreturn]] void RaiseIntOverflow();

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
inline constexpr const char* kNoStandardOutput = "標準出力がありません";
inline constexpr const char* kClipboard = "ｸﾘｯﾌﾟﾎﾞｰﾄﾞに書き込めません";
inline constexpr const char* kBoxTitle = "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ";
inline constexpr const char* kBoxFormat = "%sがﾓｼﾞｭｰﾙ %s の %p で発生しました。\n%s%s";
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
