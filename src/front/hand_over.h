// hand_over.h: the argument list and environment edits of the program to execute, and the exec.
#pragma once

#include <cstdint>

#include "lib/byte_string.h"

namespace postlet {

// Arguments back to back, each followed by a NUL.
struct arg_list_record {
  byte_string storage;
  uint32_t count;  // arguments added since the start or the last reset
};
extern arg_list_record arg_list;

// Entries back to back, each followed by a NUL: "NAME=value" assigns, a bare "NAME" removes.
struct env_changes_record {
  byte_string storage;
  byte_string scratch;  // composes one entry before it is appended
};
extern env_changes_record env_changes;

// 1, or 0 when memory ran out (count unchanged).
[[nodiscard]] int arg_add(const char* text);
// Empties the list; its storage is abandoned, not freed.
void arg_reset();
// count + 1 pointers into arg_list's storage, null-terminated; null when out of memory.
[[nodiscard]] char** arg_vector();

// Appends an edit; a null value removes the variable. A null name does nothing. 1, or 0 when out
// of memory.
[[nodiscard]] int env_put(const char* name, const char* value);

// Whether the caller's QMAILINJECT, whose letters are the injector's options, holds letter.
int injector_option(char letter);

// The inherited environment merged with env_changes, null-terminated, from the pool; null when
// out of memory. Call it once: it ends the list of edits.
[[nodiscard]] char** child_environment();
// Executes argv[0] with argv and the inherited environment merged with env_changes. Returns only
// when the program could not be started, with errno set.
void run_program(char** argv);
// execve of file, searching PATH when file has no '/'. Returns only on failure, errno set.
void exec_search(const char* file, char** argv, char** envp);

}  // namespace postlet
