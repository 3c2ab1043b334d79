// logsink.cc: postlet-logsink, the demo's stand-in for the system log. It binds a datagram socket
// at SOCKET, runs PROGRAM with its arguments, and once that has ended prints every line the
// socket received, then removes the socket and exits with the program's status.
//
//   postlet-logsink SOCKET PROGRAM [ARGUMENT...]
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

void say(int fd, const char* text, size_t n) {
  while (n) {
    ssize_t w = write(fd, text, n);
    if (w == -1 && errno == EINTR) continue;
    if (w <= 0) _exit(111);
    text += w;
    n -= static_cast<size_t>(w);
  }
}

[[noreturn]] void fail(const char* what, const char* path) {
  const char* reason = strerror(errno);
  say(2, "postlet-logsink: ", 17);
  say(2, what, strlen(what));
  say(2, path, strlen(path));
  say(2, ": ", 2);
  say(2, reason, strlen(reason));
  say(2, "\n", 1);
  _exit(111);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    const char usage[] = "usage: postlet-logsink SOCKET PROGRAM [ARGUMENT...]\n";
    say(2, usage, sizeof usage - 1);
    return 2;
  }
  const char* path = argv[1];
  sockaddr_un address = {.sun_family = AF_UNIX, .sun_path = {}};
  size_t length = strlen(path);
  if (length >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    fail("cannot bind ", path);
  }
  memcpy(address.sun_path, path, length);
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd == -1) fail("cannot make a socket for ", path);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == -1)
    fail("cannot bind ", path);
  pid_t child = fork();
  if (child == -1) fail("cannot fork for ", argv[2]);
  if (child == 0) {
    execvp(argv[2], argv + 2);
    fail("cannot run ", argv[2]);
  }
  int status = 0;
  while (waitpid(child, &status, 0) == -1) {
    if (errno != EINTR) fail("cannot wait for ", argv[2]);
  }
  // Every line the run sent is queued on the socket by now.
  static char line[65536];
  for (ssize_t n; (n = recv(fd, line, sizeof line, 0)) >= 0;) {
    say(1, "log: ", 5);
    say(1, line, static_cast<size_t>(n));
    say(1, "\n", 1);
  }
  unlink(path);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}
