// main.cc: the sequence of the process, from the command line to the exec of a qmail program.
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "front/hand_over.h"
#include "front/identity.h"
#include "front/modes.h"
#include "front/options.h"
#include "front/qmail_home.h"
#include "front/recipient_fields.h"
#include "front/recipients.h"
#include "front/settings.h"
#include "header/header_index.h"
#include "lib/byte_string.h"
#include "lib/diagnostics.h"
#include "lib/out_buffer.h"
#include "lib/system.h"
#include "lib/text.h"
#include "log/log_line.h"
#include "message/message.h"

#if defined(POSTLET_ALLOC_FAILURE)
#include "cmdscan/cmdscan.h"
#include "lib/pool.h"
#endif
#if defined(POSTLET_ALLOC_FAILURE) || defined(POSTLET_LOG_SOCKET_VARIABLE)
#include "lib/environment.h"
#endif

using namespace postlet;

// The fixed head of the injector's arguments: program, -H or -a, -n, -f SENDER, --.
static void add_head() {
  if (!arg_add("bin/qmail-inject") || !arg_add(header_recipients ? "-H" : "-a")) die_nomem();
  if (debug_mode && !arg_add("-n")) die_nomem();
  if (envelope_sender && (!arg_add("-f") || !arg_add(envelope_sender))) die_nomem();
  if (!arg_add("--")) die_nomem();
}

// One line per element on standard output; output lost is a failure, as for help and version.
static void print_lines(char** lines) {
  out_buffer* b = &standard_output_buffer;
  for (char** p = lines; *p; ++p) {
    if (out_put_text(b, *p) == -1 || out_put(b, "\n", 1) == -1)
      die(111, errno, "unable to write output", nullptr, nullptr, nullptr);
  }
  if (out_flush(b) == -1) die(111, errno, "unable to write output", nullptr, nullptr, nullptr);
}

// Whether qmail's programs read the variable of an environment entry: qmail-inject takes the
// sender, the host names and its options from names beginning QMAIL or MAIL, and the user from
// NAME, USER and LOGNAME. The rest of the caller's environment (passwords, cookies) stays unshown.
// What postlet sets itself is shown whatever its name.
static int read_by_qmail(const char* entry) {
  const byte_string* set = &env_changes.storage;
  uintptr_t at = reinterpret_cast<uintptr_t>(entry) - reinterpret_cast<uintptr_t>(set->data);
  if (set->data && at < set->len) return 1;
  if (bytes_compare(entry, 5, "QMAIL") == 0 || bytes_compare(entry, 4, "MAIL") == 0) return 1;
  static constexpr char USER_NAMES[][9] = {"NAME=", "USER=", "LOGNAME="};
  for (const char* name : USER_NAMES) {
    if (bytes_compare(entry, text_length(name), name) == 0) return 1;
  }
  return 0;
}

// The dry runs show what would be handed over and run nothing: a program named on the command
// line is never executed, whoever wrote the word.
[[noreturn]] static void dry_run(char** vector) {
  if (address_debug) print_lines(vector);
  if (environment_debug) {
    char** environment = child_environment();
    if (!environment) die_nomem();
    // Kept in the order the injector would get them.
    char** kept = environment;
    for (char** p = environment; *p; ++p) {
      if (read_by_qmail(*p)) *kept++ = *p;
    }
    *kept = nullptr;
    print_lines(environment);
  }
  _exit(0);
}

// The system's log socket; the test build's POSTLET_LOG_SOCKET names another.
static const char* log_socket() {
#if defined(POSTLET_LOG_SOCKET_VARIABLE)
  if (const char* named = env_get("POSTLET_LOG_SOCKET")) return named;
#endif
  return LOG_SOCKET;
}

// The log line of a run about to queue: who asked, for whom, with which message.
static void log_run(uint32_t recipients) {
  log_fields fields = {.tag = log_label,
                       .mode = LOG_INJECT,
                       .user = login_used(),
                       .sender = envelope_sender,
                       .recipients = recipients,
                       .header = header_recipients};
  (void)header_field("message-id", &fields.msgid, &fields.msgid_length);
  log_submission(&fields, log_socket());
}

// The dry runs show what would be handed over and queue nothing, so they need no recipient.
static int dry_run_asked() {
  return debug_mode || address_debug || environment_debug;
}

int main(int argc, char** argv) {
#if defined(POSTLET_ALLOC_FAILURE)
  // The test build only: POSTLET_FAIL_ALLOCATION=n makes the n-th pool_alloc fail.
  if (const char* n = env_get("POSTLET_FAIL_ALLOCATION")) {
    uint64_t index = 0;
    (void)scan_ulong(n, &index);
    pool_fail_after(static_cast<uint32_t>(index));
  }
#endif
  fatal_threshold = 3;
  // Without any argument vector the command acts as "postlet" with no arguments; an empty name
  // (what the kernel gives a program started without a vector) is "postlet" too.
  static char default_name[] = "postlet";
  static char* default_vector[2];
  if (argc < 1 || !argv || !argv[0]) {
    // Filled here rather than initialised, so the loader has one pointer less to relocate.
    default_vector[0] = default_name;
    argc = 1;
    argv = default_vector;
  }
  program_name = argv[0][0] ? base_name(argv[0]) : default_name;
  // The caller's directory is the log line's, and the home is about to replace it.
  log_note_cwd();
  if (sys_chdir(qmail_home()) == -1)
    die(111, errno, "failed to switch to qmail home directory", nullptr, nullptr, nullptr);

  parse_options(&argc, argv);
  dispatch_modes(log_socket());

  // The recipients are known before the message is touched: a message without any would be
  // queued for nobody, so it is refused before a byte of it is read.
  add_head();
  uint32_t head = arg_list.count;
  add_recipients(argv + 1, argc - 1);
  // -t finds the recipients in the header.
  if (arg_list.count == head && !header_recipients && !dry_run_asked())
    die(2, 0, "no recipients. give addresses as arguments or use -t.", nullptr, nullptr, nullptr);

  identity_flags();
  message_read(address_debug || environment_debug, header_recipients);
  // With -t and no address argument, a header that names nobody would be queued for nobody. The
  // caller gets its input back where it was.
  if (arg_list.count == head && header_recipients && !dry_run_asked() &&
      header_names_no_recipient()) {
    message_put_back();
    die(2, 0, "no recipients. the header names no To:, Cc: or Bcc: address.", nullptr, nullptr,
        nullptr);
  }
  // Only a header that can be read twice gives the identity: a pipe's is read for -t, the pump
  // and the log line, and the identity stays the caller's.
  sender_identity(message_way.header && message_way.seekable);

  char** vector = arg_vector();
  if (!vector) die_nomem();
  if (address_debug || environment_debug) dry_run(vector);
  message_hand_over();
  // qmail-inject -n prints the message rather than queueing it.
  if (!debug_mode) log_run(arg_list.count - head);
  run_program(vector);
  die(111, errno, "failed to start ", vector[0], nullptr, nullptr);
}
