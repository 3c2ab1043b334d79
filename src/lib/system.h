// system.h: the system calls of the submission's path, made through syscall(2).
//
// syscall is bound once, at its first call; every further function of the C library costs the
// loader a symbol look-up of some 700 instructions at its own first call, more than most of these
// calls cost themselves. Each returns what the C library's function returns, -1 with errno set on
// a failure. The fuzz build keeps the library's chdir and execve, which its harness replaces.
#pragma once

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstddef>

namespace postlet {

inline long sys_read(int descriptor, void* bytes, size_t n) {
  return syscall(SYS_read, descriptor, bytes, n);
}

inline long sys_write(int descriptor, const void* bytes, size_t n) {
  return syscall(SYS_write, descriptor, bytes, n);
}

inline long sys_writev(int descriptor, const iovec* pieces, int count) {
  return syscall(SYS_writev, descriptor, pieces, count);
}

// open(2) of a path relative to the working folder, as openat.
inline int sys_open(const char* path, int flags) {
  return static_cast<int>(syscall(SYS_openat, AT_FDCWD, path, flags));
}

inline int sys_close(int descriptor) {
  return static_cast<int>(syscall(SYS_close, descriptor));
}

inline int sys_pipe2(int ends[2], int flags) {
  return static_cast<int>(syscall(SYS_pipe2, ends, flags));
}

// Commands whose argument is an int, such as F_DUPFD_CLOEXEC and F_GETPIPE_SZ.
inline int sys_fcntl(int descriptor, int command, int argument) {
  return static_cast<int>(syscall(SYS_fcntl, descriptor, command, argument));
}

// dup2 of two different descriptors: dup3, which every architecture has.
inline int sys_dup2(int from, int to) {
  return static_cast<int>(syscall(SYS_dup3, from, to, 0));
}

// Where a long holds an off_t the call takes it as it is; elsewhere the C library's lseek passes
// the offset in two halves.
inline off_t sys_lseek(int descriptor, off_t offset, int whence) {
#if __SIZEOF_LONG__ == 8
  return static_cast<off_t>(syscall(SYS_lseek, descriptor, offset, whence));
#else
  return lseek(descriptor, offset, whence);
#endif
}

// The real user id in full: 32-bit systems keep a 16-bit getuid for old programs.
inline uid_t sys_getuid() {
#if defined(SYS_getuid32)
  return static_cast<uid_t>(syscall(SYS_getuid32));
#else
  return static_cast<uid_t>(syscall(SYS_getuid));
#endif
}

inline int sys_chdir(const char* path) {
#if defined(POSTLET_FUZZ)
  return chdir(path);
#else
  return static_cast<int>(syscall(SYS_chdir, path));
#endif
}

inline int sys_execve(const char* path, char* const argv[], char* const envp[]) {
#if defined(POSTLET_FUZZ)
  return execve(path, argv, envp);
#else
  return static_cast<int>(syscall(SYS_execve, path, argv, envp));
#endif
}

}  // namespace postlet
