// pump.h: the process that copies standard input into the injector's pipe, and its copy loop.
#pragma once

#include <cstdint>

namespace postlet {

// The pump reads in chunks of this size; nothing of the message is kept beyond one chunk.
inline constexpr uint32_t PUMP_CHUNK = 65536;
// One byte of room for a held CR, then a chunk. The scan of a regular file reads into it too.
extern char pump_space[1 + PUMP_CHUNK];
// A message that ends within this many bytes after its header, and within what a pipe can be made
// to hold, is written into the injector's pipe before the exec: Linux lets any user have a pipe
// of a mebibyte (pipe-max-size).
inline constexpr uint32_t READ_AHEAD_BYTES = uint32_t{1} << 20;

// What pump_copy ended with.
enum pump_result : int32_t {
  PUMP_DONE = 0,         // the whole input went out
  PUMP_READER_GONE = 1,  // the injector stopped reading
  PUMP_READ_FAILED = 2,  // reading standard input failed, errno set
  PUMP_WRITE_FAILED = 3  // writing failed otherwise than for a reader gone, errno set
};

// Writes to descriptor out the captured text (header_index.text), what standard_input_buffer
// still holds and what pump_start read before its choice, all in one write, then the rest of
// descriptor 0 unless its end has been met, with the line-end rule applied to what follows the
// text unless keep_crlf.
pump_result pump_copy(int out, int keep_crlf);

// Makes descriptor 0 the read end of a pipe that gets the message: written whole before this
// returns when the input ends within what the pipe holds, else by the pump process it starts.
// Returns in the process that goes on to exec the injector. Failures end the process through die.
void pump_start(int keep_crlf);

}  // namespace postlet
