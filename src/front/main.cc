// main.cc: the sequence of the process, from the command line to the exec of a qmail program.
#include <unistd.h>

#include <cerrno>

#include "front/hand_over.h"
#include "front/identity.h"
#include "front/modes.h"
#include "front/options.h"
#include "front/qmail_home.h"
#include "front/recipients.h"
#include "front/settings.h"
#include "header/header_capture.h"
#include "lib/diagnostics.h"
#include "lib/text.h"

#if defined(POSTLET_ALLOC_FAILURE)
#include "cmdscan/cmdscan.h"
#include "lib/environment.h"
#include "lib/pool.h"
#endif

using namespace postlet;

// The fixed head of the injector's arguments: program, -H or -a, -n, -f SENDER, --.
static void add_head() {
  if (!arg_add("bin/qmail-inject") || !arg_add(header_recipients ? "-H" : "-a")) die_nomem();
  if (debug_mode && !arg_add("-n")) die_nomem();
  if (envelope_sender && (!arg_add("-f") || !arg_add(envelope_sender))) die_nomem();
  if (!arg_add("--")) die_nomem();
}

static void print_vector(char** vector) {
  for (char** p = vector; *p; ++p) {
    unbuffered_output(0, *p);
    unbuffered_output(0, "\n");
  }
}

// Only a run that would queue needs an address; -t finds them in the header, the dry runs show.
static int needs_recipient() {
  return !header_recipients && !debug_mode && !address_debug && !environment_debug;
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
  // Without any argument vector the command acts as "postlet" with no arguments.
  static char default_name[] = "postlet";
  static char* default_vector[] = {default_name, nullptr};
  if (argc < 1 || !argv || !argv[0]) {
    argc = 1;
    argv = default_vector;
  }
  program_name = base_name(argv[0]);
  if (chdir(qmail_home()) == -1)
    die(111, errno, "failed to switch to qmail home directory", nullptr, nullptr, nullptr);

  parse_options(&argc, argv);
  dispatch_modes();

  // The recipients are known before the message is touched: a message without any would be
  // queued for nobody, so it is refused before a byte of it is read.
  add_head();
  uint32_t head = arg_list.count;
  add_recipients(argv + 1, argc - 1);
  if (arg_list.count == head && needs_recipient())
    die(2, 0, "no recipients. give addresses as arguments or use -t.", nullptr, nullptr, nullptr);

  identity_flags();
  const char* from = nullptr;
  const char* sender = nullptr;
  header_capture_step(&from, &sender);
  sender_identity(from, sender);

  if (environment_debug) {
    arg_reset();
    if (!arg_add(environment_debug)) die_nomem();
  }
  char** vector = arg_vector();
  if (!vector) die_nomem();
  if (address_debug) {
    print_vector(vector);
    _exit(0);
  }
  run_program(vector);
  die(111, errno, "failed to start ", vector[0], nullptr, nullptr);
}
