/* getpwuid_probe.c: prints the name getpwuid gives for the real user id, and a newline; nothing
   when it gives none. Black-box tests compare postlet's login name with it. */
#include <pwd.h>
#include <stdio.h>
#include <unistd.h>

int main(void) {
  const struct passwd* entry = getpwuid(getuid());
  if (entry) printf("%s\n", entry->pw_name);
  return 0;
}
