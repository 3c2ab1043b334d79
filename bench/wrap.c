/* wrap.c: the least possible front end, measured beside postlet: changes into the directory
   named by its first argument and execs the program named by its second (relative to that
   directory), passing on the remaining arguments and the environment unchanged.

     postlet-bench-wrap HOME bin/qmail-inject [ARG...] */
#include <unistd.h>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 3) _exit(100);
  if (chdir(argv[1]) == -1) _exit(111);
  execve(argv[2], argv + 2, environ);
  _exit(111);
}
