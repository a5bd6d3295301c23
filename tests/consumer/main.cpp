// Links the installed library through its package and public header only.
#include <VORN_LumUtility.h>

#include <cstdio>

int main() {
  const double m = mean({1.0, 2.0, 3.0, 4.0});
  std::printf("mean %.17g\n", m);
  return m == 2.5 ? 0 : 1;
}
