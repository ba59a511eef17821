// Test helper: prints the cursor position as "x y".
#include <windows.h>

#include <cstdio>

int main() {
  POINT p{};
  GetCursorPos(&p);
  std::printf("%ld %ld\n", p.x, p.y);
  return 0;
}
