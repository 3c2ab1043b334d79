/* peak.c: the peak resident size of each process of a command that reads a file from a pipe.

     postlet-bench-peak FILE ENVFILE PROGRAM [ARG...]

   A child writes FILE into a pipe that is the command's standard input; standard output and
   error go to /dev/null; ENVFILE holds the whole environment, one NAME=VALUE a line. This process
   is the subreaper of everything the command leaves behind, so each process is waited for here
   with its own resource usage. Prints "main KB" for the command's process (after an exec, what it
   execs goes on in the same process) and "other KB" for every other process; exits 1 unless the
   command exited 0. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

static char** read_environment(const char* path) {
  static char* env[256];
  static char line[65536];
  FILE* f = fopen(path, "r");
  int n = 0;
  while (f && n < 255 && fgets(line, sizeof line, f)) {
    line[strcspn(line, "\n")] = 0;
    if (line[0]) env[n++] = strdup(line);
  }
  if (f) fclose(f);
  env[n] = NULL;
  return env;
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: postlet-bench-peak FILE ENVFILE PROGRAM [ARG...]\n");
    return 2;
  }
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  int p[2];
  if (pipe(p) == -1) return 1;
  pid_t writer = fork();
  if (writer == 0) {
    close(p[0]);
    int in = open(argv[1], O_RDONLY);
    static char buffer[65536];
    for (ssize_t r; in >= 0 && (r = read(in, buffer, sizeof buffer)) > 0;) {
      for (ssize_t done = 0; done < r;) {
        ssize_t w = write(p[1], buffer + done, (size_t)(r - done));
        if (w <= 0) _exit(0);
        done += w;
      }
    }
    _exit(0);
  }
  char** env = read_environment(argv[2]);
  pid_t command = fork();
  if (command == 0) {
    int null_fd = open("/dev/null", O_RDWR);
    dup2(p[0], 0);
    dup2(null_fd, 1);
    dup2(null_fd, 2);
    close(p[0]);
    close(p[1]);
    execve(argv[3], argv + 3, env);
    _exit(127);
  }
  close(p[0]);
  close(p[1]);
  int ok = 0;
  for (;;) {
    int status;
    struct rusage usage;
    pid_t pid = wait4(-1, &status, 0, &usage);
    if (pid == -1) break;
    if (pid == writer) continue;
    if (pid == command) ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    printf("%s %ld\n", pid == command ? "main" : "other", usage.ru_maxrss);
  }
  return ok ? 0 : 1;
}
