// stub_tool.cc: stands in for qmail's programs in black-box tests.
//
// Records what it was given under HOME/record/NAME.{argv,env,cwd,pid,fds,ignored,stdin}, where HOME is
// the directory above the one holding the stub and NAME its file name, then exits with the status
// in HOME/bin/NAME.status (0 without one). As qmail-smtpd it also answers every line it reads.
#include <dirent.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" char** environ;

static void put(const std::string& path, const std::string& data) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) _exit(120);
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
}

int main(int argc, char** argv) {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 121;
  self[n] = 0;
  std::string exe(self);
  std::string dir = exe.substr(0, exe.rfind('/'));
  std::string name = exe.substr(exe.rfind('/') + 1);
  std::string home = dir.substr(0, dir.rfind('/'));
  std::string base = home + "/record/" + name;

  std::string args;
  for (int i = 0; i < argc; ++i) args.append(argv[i]).push_back('\0');
  put(base + ".argv", args);
  std::string env;
  for (char** e = environ; e && *e; ++e) env.append(*e).push_back('\0');
  put(base + ".env", env);
  char cwd[PATH_MAX];
  put(base + ".cwd", getcwd(cwd, sizeof cwd) ? cwd : "?");
  put(base + ".pid", std::to_string(getpid()));

  // The descriptors it was started with, each with its kind: pipe, file (a path) or other.
  std::vector<int> numbers;
  DIR* d = opendir("/proc/self/fd");
  for (dirent* e; d && (e = readdir(d));) {
    int fd = atoi(e->d_name);
    if (e->d_name[0] != '.' && fd != dirfd(d)) numbers.push_back(fd);
  }
  if (d) closedir(d);
  std::sort(numbers.begin(), numbers.end());
  std::string fds;
  for (int fd : numbers) {
    char link[PATH_MAX] = "";
    (void)!readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link - 1);
    std::string kind = std::string(link).rfind("pipe:", 0) == 0 ? "pipe" : link[0] == '/' ? "file" : "other";
    if (!fds.empty()) fds += ' ';
    fds.append(std::to_string(fd)).append(":").append(kind);
  }
  put(base + ".fds", fds);

  // The signals it was started with ignored, as exec leaves them.
  std::string ignored;
  for (int number = 1; number < NSIG; ++number) {
    struct sigaction action;
    if (sigaction(number, nullptr, &action) != 0 || action.sa_handler != SIG_IGN) continue;
    if (!ignored.empty()) ignored += ' ';
    ignored += std::to_string(number);
  }
  put(base + ".ignored", ignored);

  bool smtp = name == "qmail-smtpd";
  if (smtp) (void)!write(1, "220 stub ready\r\n", 16);
  std::string input, line;
  char buffer[65536];
  for (;;) {
    ssize_t r = read(0, buffer, sizeof buffer);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    input.append(buffer, static_cast<size_t>(r));
    if (!smtp) continue;
    for (ssize_t i = 0; i < r; ++i) {
      line.push_back(buffer[i]);
      if (buffer[i] != '\n') continue;
      std::string reply = "250 " + line;
      (void)!write(1, reply.data(), reply.size());
      line.clear();
    }
  }
  put(base + ".stdin", input);

  FILE* f = fopen((dir + "/" + name + ".status").c_str(), "r");
  int status = 0;
  if (f) {
    if (fscanf(f, "%d", &status) != 1) status = 0;
    fclose(f);
  }
  return status;
}
