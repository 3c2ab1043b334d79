// message.h: how the message reaches the injector, decided and prepared before the exec.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace postlet {

// A regular file longer than this from the caller's offset is not scanned for CR LF: it goes
// through the pump.
inline constexpr uint64_t MESSAGE_SCAN_BYTES = uint64_t{64} << 20;

// The decision message_read made.
struct message_plan {
  int32_t keep_crlf;  // POSTLET_KEEP_CRLF is inherited: the bytes go on unchanged
  int32_t seekable;   // descriptor 0 can be repositioned; start is the caller's offset
  int32_t header;     // the header was read into the index
  int32_t pump;       // the message passes through postlet on its way to the injector
  off_t start;
};
extern message_plan message_way;

// Reads what the run needs of standard input and decides how the injector gets the message:
// dry_run reads only a seekable input's header and puts it back; header_needed (-t) has a pipe's
// header read as well. A seekable input that is handed over stands at the caller's offset
// again. Failures end the process.
void message_read(int dry_run, int header_needed);

// Puts a seekable input back at the caller's offset, for a run that refuses after reading it.
// Failures end the process.
void message_put_back();

// When the message must pass through postlet, starts the pump: descriptor 0 is then the pipe it
// fills. Otherwise does nothing. Failures end the process.
void message_hand_over();

}  // namespace postlet
