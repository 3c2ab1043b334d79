// message.h: how the message reaches the injector, decided and prepared before the exec.
#pragma once

#include <cstdint>

namespace postlet {

// A regular file longer than this from the caller's offset is not scanned for CR LF: it goes
// through the pump.
inline constexpr uint64_t MESSAGE_SCAN_BYTES = uint64_t{64} << 20;

// The decision message_read made.
struct message_plan {
  int32_t keep_crlf;  // POSTLET_KEEP_CRLF is inherited: the bytes go on unchanged
  int32_t seekable;   // descriptor 0 can be repositioned
  int32_t pump;       // the message passes through the pump
};
extern message_plan message_way;

// Reads what the run needs of standard input and decides how the injector gets the message. A
// dry run reads only the header of a seekable input and puts it back; header_needed (-t) has the
// header read from a pipe as well. *from and *sender become the first values of those fields
// (caller-owned texts) when the input is seekable, else null. Failures end the process.
void message_read(int dry_run, int header_needed, const char** from, const char** sender);

// When the message must pass through postlet, starts the pump: descriptor 0 is then the pipe it
// fills. Otherwise does nothing. Failures end the process.
void message_hand_over();

}  // namespace postlet
