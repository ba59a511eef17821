// Command-line splitting and the switch table of the capture run. Pure computation.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pixo/base/errors.h"
#include "pixo/capture/clip.h"

namespace pixo {

// Longest argument the program accepts; a longer output name is refused.
inline constexpr size_t kMaxArgument = 256;

// Splits a process command line into its items; item 0 is the program itself.
// Blanks and control characters separate items, a double quote opens a stretch that
// runs to the next double quote (the quotes are dropped), and a pair of double quotes
// at the start of an item position is skipped. Splitting stops at the first empty item.
std::vector<std::wstring> SplitCommandLine(const std::wstring& line);

enum class PrintMode { Plain, BlackWhite, Gray, FullColor };

// What a run captures; with several target switches the last one counts.
enum class Target {
  Screen,         // the primary screen (no target switch)
  Foreground,     // /A
  VirtualScreen,  // /V: every monitor
  Monitor,        // /M:n
  Title,          // /T:text
  Rect,           // /R:x,y,w,h
  Handle,         // /H:handle
  Program,        // /PR:program or process id
};

struct RunOptions {
  Target target = Target::Screen;
  int monitor = 0;         // /M:n, from 1
  std::wstring title;      // /T:text, as typed
  ScreenRect rect{};       // /R:, as left, top, right, bottom
  uint64_t handle = 0;     // /H:, a window handle
  std::wstring program;    // /PR:, an image name or a process id, as typed
  bool ownPixels = false;  // /W: a window's own pixels, not the screen's
  bool clientArea = false; // /CA: a window's client area
  bool listWindows = false;  // /LW
  int delayMs = 0;         // /DL:seconds
  int shots = 1;           // /SR:n,seconds: a series of shots
  int intervalMs = 0;      // between the starts of two shots of a series
  bool namePattern = false;   // /FN: the file name is a pattern (ExpandNamePattern)
  bool keepExisting = false;  // /NC: never replace a file
  bool quiet = false;      // /Q
  bool list = false;       // /L
  bool help = false;       // /?, -h, --help: the usage
  bool clipboard = false;  // /CB
  bool cursor = false;     // /C
  // The first argument that names a switch with a value but whose value is not valid.
  std::wstring badSwitch;
  bool print = false;
  bool jpeg = false;
  bool png = false;
  bool gif = false;
  int jpegQuality = 0;
  bool blackWhite = false;
  bool gray = false;
  bool fullColor = false;
  bool jiggle = false;
  std::wstring outputName;
  std::wstring firstArgument;  // as typed: the file of a print run without a name

  enum class Format { Bmp, Jpeg, Png, Gif };
  Format OutputFormat() const { return jpeg ? Format::Jpeg : png ? Format::Png : gif ? Format::Gif : Format::Bmp; }
  PrintMode Mode() const {
    return blackWhite  ? PrintMode::BlackWhite
           : gray      ? PrintMode::Gray
           : fullColor ? PrintMode::FullColor
                       : PrintMode::Plain;
  }
};

// Reads the arguments (without the program item) into the run options: each argument,
// upper-cased in a-z only, is compared with the switch table (whole, or up to its ":" for
// a switch with a value); any other argument is the output name, kept as typed, and a
// later name replaces an earlier one.
RunOptions ParseArguments(const std::vector<std::wstring>& args);

// The usage: every switch of the table, one line each, with the program's version.
std::wstring Usage(const std::wstring& version);

// Reads a window handle: decimal, or hexadecimal after "0x"; never 0, and never a value
// whose upper 32 bits are neither zero nor the sign extension of the lower 32.
bool ParseHandle(const std::wstring& text, uint64_t& handle);

// Reads seconds with up to three decimals ("2", "0.5", "1.25"), at most a day, into
// milliseconds.
bool ParseSeconds(const std::wstring& text, int& ms);

// Reads "x,y,w,h" (decimal, x and y may be negative, w and h above 0) into a rectangle.
bool ParseRect(const std::wstring& text, ScreenRect& rect);

// Upper-cases the ASCII letters a-z only.
std::wstring UpperAscii(std::wstring s);

// The random generator of the cursor movement: a 32-bit linear congruential generator.
class CursorRandom {
 public:
  explicit CursorRandom(uint32_t seed) : seed_(seed) {}
  uint32_t Next(uint32_t n) {
    seed_ = seed_ * 134775813u + 1u;
    return static_cast<uint32_t>((static_cast<uint64_t>(seed_) * n) >> 32);
  }
  uint32_t Seed() const { return seed_; }

 private:
  uint32_t seed_;
};

// Seed of the cursor movement: milliseconds since midnight UTC.
inline uint32_t CursorSeed(unsigned hour, unsigned minute, unsigned second, unsigned ms) {
  return ((hour * 60u + minute) * 60u + second) * 1000u + ms;
}

}  // namespace pixo
