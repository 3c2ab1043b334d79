// message.cc: the choice between handing the caller's descriptor over, reading the header and
// pumping the message.
#include "message/message.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "header/header_capture.h"
#include "lib/diagnostics.h"
#include "lib/environment.h"
#include "lib/in_buffer.h"
#include "lib/line_ends.h"
#include "lib/system.h"
#include "message/pump.h"

namespace postlet {

constinit message_plan message_way = {};

// What descriptor 0 is, as far as the choice goes.
enum input_kind : uint8_t {
  INPUT_CLOSED = 1,  // not open for reading
  INPUT_PIPE = 2,    // cannot be repositioned: a pipe, a socket, a terminal
  INPUT_CLEAN = 4,   // can be, and the injector may read it as it is: nothing to mend
  INPUT_MEND = 8,    // can be, but holds line ends to mend, or its length is not known
};
inline constexpr uint8_t INPUT_SEEKABLE = INPUT_CLEAN | INPUT_MEND;
inline constexpr int8_t ANY = -1;

struct way_row {
  uint8_t inputs;        // the kinds the row is for
  int8_t dry_run;        // 0, 1 or ANY
  int8_t keep_crlf;      // 0, 1 or ANY
  int8_t header_needed;  // 0, 1 or ANY
  int8_t read_header;    // the header is read into the index
  int8_t pump;           // the message passes through postlet; else the descriptor is handed over
};

// The first row that fits decides. A seekable input that is not pumped is put back at the
// caller's offset once its header is read.
static constexpr way_row WAYS[] = {
    // Nothing can be read: the injector meets the descriptor as the caller left it.
    {INPUT_CLOSED, ANY, ANY, ANY, 0, 0},
    // A dry run shows the identity a file's header gives and puts the file back; it never reads
    // a pipe, which would consume the caller's message.
    {INPUT_SEEKABLE, 1, ANY, ANY, 1, 0},
    {INPUT_PIPE, 1, ANY, ANY, 0, 0},
    // Nothing to mend: the injector reads the file itself, from the caller's offset, uncopied.
    {INPUT_CLEAN, 0, ANY, ANY, 1, 0},
    // Line ends to mend, a file too long to scan or a device: the bytes go through postlet.
    {INPUT_MEND, 0, ANY, ANY, 1, 1},
    // A pipe whose bytes are kept, when no header is wanted: nothing for postlet to do.
    {INPUT_PIPE, 0, 1, 0, 0, 0},
    // Any other pipe: its line ends are mended, or -t needs its header; the log line takes its
    // Message-ID from the header read on the way.
    {INPUT_PIPE, 0, ANY, ANY, 1, 1},
};

static int fits(int8_t column, int value) {
  return column == ANY || column == value;
}

static const way_row* choose(input_kind input, int dry_run, int keep_crlf, int header_needed) {
  for (const way_row& row : WAYS) {
    if ((row.inputs & input) && fits(row.dry_run, dry_run) && fits(row.keep_crlf, keep_crlf) &&
        fits(row.header_needed, header_needed))
      return &row;
  }
  return &WAYS[0];
}

// Whether the n bytes from the offset of a regular file are as the injector must get them, so
// that it can read the file itself. The scan reads the file once more before the injector does:
// up to the bound that is cheap beside the copy it saves (a file in the page cache reads at
// gigabytes a second); past it the submission would wait about as long for the scan as for the
// pump's copy, and a file that keeps growing would never be done, so a longer file goes through
// the pump. The rule is applied to the bytes read, which are dropped afterwards: any CR it drops
// means the file needs mending.
static int file_is_clean(uint64_t n) {
  if (n > MESSAGE_SCAN_BYTES) return 0;
  line_end_state state = {};
  uint64_t total = 0;
  for (;;) {
    long r = sys_read(0, pump_space + 1, PUMP_CHUNK);
    if (r == -1 && errno == EINTR) continue;
    if (r == -1) die(111, errno, "failed to read the message", nullptr, nullptr, nullptr);
    // A CR still held at the end would be dropped.
    if (r == 0) return !state.held_cr;
    total += static_cast<uint64_t>(r);
    if (total > MESSAGE_SCAN_BYTES) return 0;
    auto size = static_cast<uint32_t>(r);
    uint32_t held = static_cast<uint32_t>(state.held_cr);
    char* start;
    uint32_t out = line_ends_mend(&state, pump_space + 1, size, &start);
    if (out + static_cast<uint32_t>(state.held_cr) != held + size) return 0;
  }
}

static void seek_to_start() {
  if (seek_start(0, message_way.start) == -1)
    die(111, errno, "failed to seek in mail", nullptr, nullptr, nullptr);
}

// Which kind descriptor 0 is; for a regular file this reads it (the scan), unless its bytes are
// kept or only a dry run asks.
static input_kind examine(int dry_run, int keep_crlf) {
  message_plan* way = &message_way;
  way->start = seek_current(0);
  if (way->start == -1) {
    // A descriptor that refuses even a read of nothing is closed, or open for writing alone.
    return sys_read(0, pump_space, 0) == -1 ? INPUT_CLOSED : INPUT_PIPE;
  }
  way->seekable = 1;
  if (dry_run || keep_crlf) return INPUT_CLEAN;
  struct stat status = {};
  if (fstat(0, &status) == -1)
    die(111, errno, "failed to stat the message", nullptr, nullptr, nullptr);
  if (!S_ISREG(status.st_mode)) return INPUT_MEND;
  uint64_t left =
      status.st_size > way->start ? static_cast<uint64_t>(status.st_size - way->start) : 0;
  input_kind kind = file_is_clean(left) ? INPUT_CLEAN : INPUT_MEND;
  seek_to_start();
  return kind;
}

void message_read(int dry_run, int header_needed) {
  message_plan* way = &message_way;
  way->keep_crlf = env_get("POSTLET_KEEP_CRLF") != nullptr;
  input_kind input = examine(dry_run, way->keep_crlf);
  const way_row* row = choose(input, dry_run, way->keep_crlf, header_needed);
  way->pump = row->pump;
  way->header = row->read_header;
  if (!way->header) return;
  header_capture(way->keep_crlf);
  if (way->seekable && !way->pump) seek_to_start();
}

void message_put_back() {
  if (message_way.seekable) seek_to_start();
}

void message_hand_over() {
  if (message_way.pump) pump_start(message_way.keep_crlf);
}

}  // namespace postlet
