// header_capture.h: reading the header of the message from standard input, as the injector will.
#pragma once

#include <cstdint>

#include "lib/line_ends.h"

namespace postlet {

// Capture reads no more than this many header bytes and this many fields (lines that do not
// begin with SPACE or TAB); what it has by then is indexed.
inline constexpr uint32_t HEADER_CAPTURE_BYTES = 1048576;
inline constexpr uint32_t HEADER_CAPTURE_FIELDS = 1000;

// What the capture found besides the text in header_index.text.
struct header_capture_record {
  uint32_t header;      // bytes of the text that are header fields, less a field a bound cut
  int32_t captured;     // a capture ran
  int32_t cut;          // a bound ended it before the header ended
  int32_t ended;        // it met the end of input
  line_end_state ends;  // where the line-end rule stands after the text: a CR the bound cut off
};
extern header_capture_record header_capture_result;

// Reads lines from standard_input_buffer, where it stands, into header_index.text until the
// header ends as qmail-inject ends it: at the empty line (kept in the text), at the first line
// that is neither a field, a continuation nor a "From " line (kept in the text too: it has been
// read), at the end of input or at a bound. Unless keep_crlf, the line-end rule applies, as the
// injector will get the lines. Each line is classified and its fields recorded as it is read,
// and the index is built at the end. Fills header_capture_result; every failure ends the process
// through die or die_nomem.
void header_capture(int keep_crlf);

}  // namespace postlet
