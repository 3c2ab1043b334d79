/* stub_inject.c: the stand-in for qmail's programs in benchmarks: reads standard input to its
   end and exits 0, so that its own cost is small and the same behind every front end. */
#include <errno.h>
#include <unistd.h>

int main(void) {
  static char buffer[65536];
  for (;;) {
    ssize_t r = read(0, buffer, sizeof buffer);
    if (r == -1 && errno == EINTR) continue;
    if (r <= 0) break;
  }
  return 0;
}
