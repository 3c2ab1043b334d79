// message.cc: the choice between handing the caller's descriptor over and pumping the message.
#include "message/message.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "header/header_capture.h"
#include "header/header_index.h"
#include "lib/diagnostics.h"
#include "lib/environment.h"
#include "lib/in_buffer.h"
#include "message/pump.h"

namespace postlet {

constinit message_plan message_way = {};

// Whether the n bytes from the offset of a regular file hold no CR LF, so that the injector
// can read the file itself. The scan reads the file once more before the injector does: up to
// the bound that is cheap beside the copy it saves (a file in the page cache reads at gigabytes
// a second); past it the submission would wait about as long for the scan as for the pump's
// copy, and a file that keeps growing would never be done, so a longer file goes through the
// pump.
static int file_is_clean(uint64_t n) {
  if (n > MESSAGE_SCAN_BYTES) return 0;
  uint64_t total = 0;
  int cr = 0;  // the chunk before ended with a CR
  for (;;) {
    long r = read(0, pump_space, PUMP_CHUNK);
    if (r == -1 && errno == EINTR) continue;
    if (r == -1) die(111, errno, "failed to read the message", nullptr, nullptr, nullptr);
    if (r == 0) return 1;
    total += static_cast<uint64_t>(r);
    if (total > MESSAGE_SCAN_BYTES) return 0;
    const char* bytes = pump_space;
    uint32_t size = static_cast<uint32_t>(r);
    if (cr && bytes[0] == '\n') return 0;
    for (uint32_t i = 0; i + 1 < size; ++i) {
      const void* found = std::memchr(bytes + i, '\r', size - 1 - i);
      if (!found) break;
      i = static_cast<uint32_t>(static_cast<const char*>(found) - bytes);
      if (bytes[i + 1] == '\n') return 0;
    }
    cr = bytes[size - 1] == '\r';
  }
}

void message_read(int dry_run, int header_needed, const char** from, const char** sender) {
  *from = nullptr;
  *sender = nullptr;
  message_plan* way = &message_way;
  way->keep_crlf = env_get("POSTLET_KEEP_CRLF") != nullptr;
  // The message starts where the caller left descriptor 0, which need not be the file's start.
  off_t start = seek_current(0);
  // A descriptor 0 that refuses even a read of nothing is closed: it is handed over as it is.
  if (start == -1 && read(0, pump_space, 0) == -1) return;
  way->seekable = start != -1;
  struct stat status = {};
  if (way->seekable && fstat(0, &status) == -1) return;
  if (!dry_run) {
    if (S_ISREG(status.st_mode)) {
      uint64_t left = status.st_size > start ? static_cast<uint64_t>(status.st_size - start) : 0;
      way->pump = !way->keep_crlf && !file_is_clean(left);
    } else {
      // Nothing to mend and no header wanted: the injector reads the pipe itself.
      way->pump = way->seekable || !way->keep_crlf || header_needed;
    }
  }
  if (!way->seekable && !way->pump) return;
  if (way->seekable && seek_start(0, start) == -1)
    die(111, errno, "failed to seek in mail", nullptr, nullptr, nullptr);
  header_capture(way->keep_crlf);
  if (!way->pump && seek_start(0, start) == -1)
    die(111, errno, "failed to read in stdin", nullptr, nullptr, nullptr);
  // Every header read is indexed (the log line takes its Message-ID), but only a seekable input
  // gives the identity: a pipe's header is read for -t, the pump and the log line.
  header_capture_index();
  if (!way->seekable) return;
  *from = header_value("from");
  *sender = header_value("sender");
}

void message_hand_over() {
  if (message_way.pump) pump_start(message_way.keep_crlf);
}

}  // namespace postlet
