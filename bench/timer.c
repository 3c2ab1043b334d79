/* timer.c: times several commands side by side, many times over, and prints the median of
   each and the median of the pairwise ratios of every later command to every earlier one.

     postlet-bench-timer [-n RUNS] [-w WARMUP] [-E ENVFILE] [-s SAMPLES] --
         LABEL INPUT PROGRAM [ARG...] ,, LABEL INPUT PROGRAM [ARG...] ...

   INPUT is "-" (/dev/null), "pipe:FILE" (the file's bytes written into a pipe before the start,
   at most 60000 of them, so the writer is not timed) or "file:FILE" (a descriptor opened on the
   file before the start: seekable input). ENVFILE holds the whole environment, one NAME=VALUE
   a line; without it the environment is empty. Standard output and error go to /dev/null and
   every run must exit 0, or the timer stops. Within one round every command runs once, the
   order rotating from round to round, so that drifts of a shared machine hit all alike; the
   ratio of a round compares runs made a few milliseconds apart. */
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define MAX_VARIANTS 8
#define PIPE_LIMIT 60000

struct variant {
  const char* label;
  int kind; /* 0 /dev/null, 1 pipe, 2 file */
  const char* path;
  char* bytes;
  size_t size;
  char** argv;
  double* samples;
};

static void fail(const char* what, const char* detail) {
  fprintf(stderr, "postlet-bench-timer: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
  exit(1);
}

static char* slurp(const char* path, size_t* size) {
  FILE* f = fopen(path, "rb");
  if (!f) fail("cannot open", path);
  size_t cap = 65536, len = 0;
  char* data = malloc(cap);
  for (;;) {
    if (len + 1 >= cap) data = realloc(data, cap *= 2);
    size_t r = fread(data + len, 1, cap - len - 1, f);
    if (r == 0) break;
    len += r;
  }
  fclose(f);
  data[len] = 0;
  *size = len;
  return data;
}

static char** read_environment(const char* path) {
  size_t size;
  char* data = slurp(path, &size);
  size_t lines = 0;
  for (size_t i = 0; i < size; ++i)
    lines += data[i] == '\n';
  char** env = calloc(lines + 2, sizeof *env);
  size_t n = 0, start = 0;
  for (size_t i = 0; i <= size; ++i) {
    if (i < size && data[i] != '\n') continue;
    if (i > start) {
      data[i] = 0;
      env[n++] = data + start;
    }
    start = i + 1;
  }
  env[n] = NULL;
  return env;
}

static int compare_double(const void* a, const void* b) {
  double x = *(const double*)a, y = *(const double*)b;
  return x < y ? -1 : x > y;
}

/* The q-quantile of n sorted values, interpolated. */
static double quantile(const double* sorted, int n, double q) {
  double position = q * (n - 1);
  int i = (int)position;
  if (i + 1 >= n) return sorted[n - 1];
  return sorted[i] + (position - i) * (sorted[i + 1] - sorted[i]);
}

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

static double run_once(const struct variant* v, char** env, int null_fd) {
  int input = -1, writer = -1;
  if (v->kind == 0) {
    input = null_fd;
  } else if (v->kind == 2) {
    input = open(v->path, O_RDONLY);
    if (input == -1) fail("cannot open", v->path);
  } else {
    int p[2];
    if (pipe(p) == -1) fail("pipe", strerror(errno));
    input = p[0];
    writer = p[1];
    size_t done = 0;
    while (done < v->size) {
      ssize_t w = write(writer, v->bytes + done, v->size - done);
      if (w <= 0) fail("write to pipe", strerror(errno));
      done += (size_t)w;
    }
    close(writer);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input, 0);
  posix_spawn_file_actions_adddup2(&actions, null_fd, 1);
  posix_spawn_file_actions_adddup2(&actions, null_fd, 2);
  pid_t pid;
  double start = now();
  int e = posix_spawn(&pid, v->argv[0], &actions, NULL, v->argv, env);
  if (e) fail("cannot start", v->argv[0]);
  int status;
  while (waitpid(pid, &status, 0) == -1) {
    if (errno != EINTR) fail("waitpid", strerror(errno));
  }
  double elapsed = now() - start;
  posix_spawn_file_actions_destroy(&actions);
  if (input != null_fd) close(input);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "postlet-bench-timer: %s exited with status 0x%x\n", v->label, status);
    exit(1);
  }
  return elapsed;
}

int main(int argc, char** argv) {
  int runs = 1000, warmup = 50;
  const char* env_path = NULL;
  const char* samples_path = NULL;
  int i = 1;
  for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    if (i + 1 >= argc) fail("option without value", argv[i]);
    if (!strcmp(argv[i], "-n"))
      runs = atoi(argv[++i]);
    else if (!strcmp(argv[i], "-w"))
      warmup = atoi(argv[++i]);
    else if (!strcmp(argv[i], "-E"))
      env_path = argv[++i];
    else if (!strcmp(argv[i], "-s"))
      samples_path = argv[++i];
    else
      fail("unknown option", argv[i]);
  }
  if (i >= argc || runs < 1 || warmup < 0)
    fail(
        "usage: postlet-bench-timer [-n RUNS] [-w WARMUP] [-E ENVFILE] [-s SAMPLES] -- LABEL INPUT "
        "PROGRAM [ARG...] ,, ...",
        NULL);
  ++i;
  struct variant variants[MAX_VARIANTS];
  int count = 0;
  while (i < argc) {
    if (count == MAX_VARIANTS) fail("too many commands", NULL);
    if (argc - i < 3) fail("a command needs LABEL INPUT PROGRAM", NULL);
    struct variant* v = &variants[count++];
    memset(v, 0, sizeof *v);
    v->label = argv[i++];
    const char* input = argv[i++];
    if (!strcmp(input, "-")) {
      v->kind = 0;
    } else if (!strncmp(input, "pipe:", 5)) {
      v->kind = 1;
      v->path = input + 5;
      v->bytes = slurp(v->path, &v->size);
      if (v->size > PIPE_LIMIT) fail("pipe input too long", v->path);
    } else if (!strncmp(input, "file:", 5)) {
      v->kind = 2;
      v->path = input + 5;
    } else {
      fail("input must be -, pipe:FILE or file:FILE", input);
    }
    v->argv = argv + i;
    while (i < argc && strcmp(argv[i], ",,") != 0)
      ++i;
    if (i < argc) argv[i++] = NULL;
    v->samples = malloc(sizeof(double) * (size_t)runs);
  }
  char* empty[] = {NULL};
  char** env = env_path ? read_environment(env_path) : empty;
  int null_fd = open("/dev/null", O_RDWR);
  if (null_fd == -1) fail("cannot open /dev/null", strerror(errno));

  for (int round = -warmup; round < runs; ++round) {
    for (int k = 0; k < count; ++k) {
      int which = (k + (round < 0 ? 0 : round)) % count;
      double t = run_once(&variants[which], env, null_fd);
      if (round >= 0) variants[which].samples[round] = t;
    }
  }

  if (samples_path) {
    FILE* f = fopen(samples_path, "w");
    if (!f) fail("cannot write", samples_path);
    for (int k = 0; k < count; ++k)
      fprintf(f, "%s%c", variants[k].label, k + 1 < count ? '\t' : '\n');
    for (int r = 0; r < runs; ++r)
      for (int k = 0; k < count; ++k)
        fprintf(f, "%.1f%c", variants[k].samples[r], k + 1 < count ? '\t' : '\n');
    fclose(f);
  }

  double* sorted = malloc(sizeof(double) * (size_t)runs);
  printf("runs %d\n", runs);
  for (int k = 0; k < count; ++k) {
    memcpy(sorted, variants[k].samples, sizeof(double) * (size_t)runs);
    qsort(sorted, (size_t)runs, sizeof(double), compare_double);
    printf("time %s median_us %.1f p25_us %.1f p75_us %.1f\n", variants[k].label,
           quantile(sorted, runs, 0.5), quantile(sorted, runs, 0.25), quantile(sorted, runs, 0.75));
  }
  for (int k = 1; k < count; ++k) {
    for (int j = 0; j < k; ++j) {
      for (int r = 0; r < runs; ++r)
        sorted[r] = variants[k].samples[r] / variants[j].samples[r];
      qsort(sorted, (size_t)runs, sizeof(double), compare_double);
      printf("ratio %s/%s median %.4f p25 %.4f p75 %.4f\n", variants[k].label, variants[j].label,
             quantile(sorted, runs, 0.5), quantile(sorted, runs, 0.25),
             quantile(sorted, runs, 0.75));
    }
  }
  return 0;
}
