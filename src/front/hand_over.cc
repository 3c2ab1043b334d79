// hand_over.cc: argument list, environment merge and exec with the PATH search.
#include "front/hand_over.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "lib/environment.h"
#include "lib/pool.h"
#include "lib/system.h"
#include "lib/text.h"

extern "C" char** environ;

namespace postlet {

constinit arg_list_record arg_list = {};
constinit env_changes_record env_changes = {};

static const char nul_byte[] = "";

int arg_add(const char* text) {
  byte_string* s = &arg_list.storage;
  // A run's arguments are mostly a few short words: room for them from the first one on.
  if (!s->data && !byte_string_ready(s, 256)) return 0;
  uint32_t old_len = s->len;
  if (!byte_string_append_text(s, text) || !byte_string_append_byte(s, nul_byte)) {
    s->len = old_len;
    return 0;
  }
  ++arg_list.count;
  return 1;
}

void arg_reset() {
  arg_list.storage = byte_string{};
  arg_list.count = 0;
}

char** arg_vector() {
  uint32_t count = arg_list.count;
  if (count > UINT32_MAX / sizeof(char*) - 1) {
    errno = ENOMEM;
    return nullptr;
  }
  char** vector =
      static_cast<char**>(pool_alloc(static_cast<uint32_t>((count + 1) * sizeof(char*))));
  if (!vector) return nullptr;
  const byte_string* s = &arg_list.storage;
  uint32_t slot = 0;
  for (uint32_t i = 0; i < s->len && slot < count; ++i) {
    if (i == 0 || s->data[i - 1] == '\0') vector[slot++] = s->data + i;
  }
  vector[slot] = nullptr;
  return vector;
}

int env_put(const char* name, const char* value) {
  if (!name) return 1;
  byte_string* scratch = &env_changes.scratch;
  // Room for the whole entry at once, so that composing it never moves it.
  uint32_t name_length = text_length(name);
  uint32_t value_length = value ? text_length(value) : 0;
  uint64_t room = uint64_t{name_length} + value_length + 3;  // '=', the NUL and the guard
  if (room > UINT32_MAX) {
    errno = ENOMEM;
    return 0;
  }
  if (!byte_string_ready(scratch, static_cast<uint32_t>(room))) return 0;
  if (!byte_string_copy(scratch, name, name_length)) return 0;
  if (value &&
      (!byte_string_append(scratch, "=", 1) || !byte_string_append(scratch, value, value_length)))
    return 0;
  if (!byte_string_append_byte(scratch, nul_byte)) return 0;
  // The edits of a run are a handful of short entries: room for them from the first one on.
  byte_string* storage = &env_changes.storage;
  if (!storage->data && !byte_string_ready(storage, 256)) return 0;
  return byte_string_append_string(storage, scratch);
}

int injector_option(char letter) {
  const char* options = env_get("QMAILINJECT");
  return options && options[text_find_byte(options, letter)] == letter;
}

char** child_environment() {
  byte_string* changes = &env_changes.storage;
  // An empty entry ends the list, so that the walk below knows where it stops.
  if (!byte_string_append_byte(changes, nul_byte)) return nullptr;
  uint32_t inherited = 0;
  if (environ) {
    while (environ[inherited])
      ++inherited;
  }
  uint32_t edits = 0;
  for (uint32_t i = 0; i < changes->len; ++i) {
    if (changes->data[i] == '\0') ++edits;
  }
  uint64_t slots = uint64_t{inherited} + edits + 1;
  if (slots > UINT32_MAX / sizeof(char*)) {
    errno = ENOMEM;
    return nullptr;
  }
  char** envp = static_cast<char**>(pool_alloc(static_cast<uint32_t>(slots * sizeof(char*))));
  if (!envp) return nullptr;
  for (uint32_t i = 0; i < inherited; ++i)
    envp[i] = environ[i];
  uint32_t j = inherited;
  char* entry = changes->data;
  char* end = changes->data + changes->len;
  while (entry < end && *entry) {
    uint32_t entry_length = text_length(entry);
    uint32_t name_length = text_find_byte(entry, '=');
    // Only the first inherited entry of that name is replaced; the last element fills its slot.
    for (uint32_t k = 0; k < j; ++k) {
      if (bytes_compare(envp[k], name_length, entry) == 0 && envp[k][name_length] == '=') {
        envp[k] = envp[j - 1];
        --j;
        break;
      }
    }
    if (entry[name_length] == '=') envp[j++] = entry;
    entry += entry_length + 1;
  }
  envp[j] = nullptr;
  return envp;
}

// An ignored SIGCHLD outlasts exec: qmail-inject could then not wait for qmail-queue and would
// report a queued message as a failure. The rest is left as the caller set it. A zeroed record
// is SIG_DFL with no flags and an empty mask in every layout the kernel has for it; the call
// goes through syscall(2), already bound, rather than sigaction, a symbol more to look up.
static void default_sigchld() {
  static constexpr unsigned long DEFAULT_ACTION[4 + _NSIG / 8 / sizeof(unsigned long)] = {};
  (void)syscall(SYS_rt_sigaction, SIGCHLD, DEFAULT_ACTION, nullptr, size_t{_NSIG / 8});
}

void run_program(char** argv) {
  char** envp = child_environment();
  if (!envp) return;
  default_sigchld();
  exec_search(argv[0], argv, envp);
  int saved = errno;
  pool_free(envp);
  errno = saved;
}

void exec_search(const char* file, char** argv, char** envp) {
  // Every qmail program is named with a slash, and goes through syscall(2) as the other calls of
  // a submission do; the search keeps the library's execve.
  if (file[text_find_byte(file, '/')] == '/') {
    sys_execve(file, argv, envp);
    return;
  }
  const char* path = env_get("PATH");
  if (!path) path = "/bin:/usr/bin";
  byte_string candidate = {};
  int saved = 0;
  for (;;) {
    uint32_t length = text_find_byte(path, ':');
    int ok = length ? byte_string_copy(&candidate, path, length)
                    : byte_string_copy_text(&candidate, ".");
    if (!ok || !byte_string_append_text(&candidate, "/") ||
        !byte_string_append_text(&candidate, file) ||
        !byte_string_append_byte(&candidate, nul_byte))
      return;
    execve(candidate.data, argv, envp);
    if (errno == EACCES || errno == EPERM || errno == EISDIR) {
      saved = errno;
    } else if (errno != ENOENT) {
      return;
    }
    if (!path[length]) break;
    path += length + 1;
  }
  if (saved) errno = saved;
}

}  // namespace postlet
