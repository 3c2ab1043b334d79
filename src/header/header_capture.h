// header_capture.h: reading the header of a seekable standard input into the header index.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace postlet {

// Capture reads no more than this many header bytes and this many fields (lines that do not
// begin with SPACE or TAB); what it has by then is indexed.
inline constexpr uint32_t HEADER_CAPTURE_BYTES = 1048576;
inline constexpr uint32_t HEADER_CAPTURE_FIELDS = 1000;

// Repositions descriptor to start, reads the header lines from standard_input_buffer into
// header_index.text and builds header_index over them. Returns only on success; every failure
// ends the process through die or die_nomem.
void header_capture(int descriptor, off_t start);

// The whole capture step of the front end. When descriptor 0 can be repositioned, captures the
// header of the message that begins at its current offset, puts the descriptor back at that
// offset for the injector, and sets *from and *sender to the first values of those fields
// (caller-owned NUL-terminated texts, null when the field is absent). When it cannot, nothing is
// read and both are null. Failures end the process through die or die_nomem.
void header_capture_step(const char** from, const char** sender);

}  // namespace postlet
