// modes.cc: operating modes and invocation names.
#include "front/modes.h"

#include <cerrno>

#include "front/hand_over.h"
#include "front/identity.h"
#include "front/settings.h"
#include "lib/diagnostics.h"
#include "lib/environment.h"
#include "lib/text.h"
#include "log/log_line.h"

namespace postlet {

static constexpr char ALIASES[] = "please use fastforward/newaliases instead.";
static constexpr char DAEMON[] = "daemonmode not implemented. start qmail instead.";
static constexpr char QUEUE[] = "queuemode not implemented. send an alarm to qmail-send.";

[[noreturn]] static void refuse(const char* text) {
  die(2, 0, text, nullptr, nullptr, nullptr);
}

[[noreturn]] static void refuse_mode(const char* mode) {
  die(2, 0, "mode ", mode, " not implemented.", nullptr);
}

// Executes one of qmail's tools with the argument vector {path}.
[[noreturn]] static void run_tool(const char* path) {
  static char* argv[2];
  argv[0] = const_cast<char*>(path);
  argv[1] = nullptr;
  run_program(argv);
  die(111, errno, "failed to run ", path, nullptr, nullptr);
}

// qmail's SMTP server over descriptors 0 and 1, as if for a connection from the local host. Its
// log line says who started the session; the messages of it are not known yet.
[[noreturn]] static void smtp_mode(const char* log_socket) {
  // A caller that set PROTO has set up the connection variables itself.
  if (!env_get("PROTO")) {
    // Names and values sit in the rows, so the table needs no relocation at load time.
    static constexpr struct {
      char name[14];
      char value[11];
    } CONNECTION[] = {{"RELAYCLIENT", ""},
                      {"DATABYTES", "0"},
                      {"PROTO", "TCP"},
                      {"TCPLOCALIP", "127.0.0.1"},
                      {"TCPLOCALHOST", "localhost"},
                      {"TCPREMOTEIP", "127.0.0.1"},
                      {"TCPREMOTEHOST", "localhost"},
                      {"TCPREMOTEINFO", "postlet-bs"}};
    for (const auto& variable : CONNECTION) {
      if (!env_put(variable.name, variable.value)) die_nomem();
    }
  }
  log_fields fields = {.tag = log_label, .mode = LOG_SMTP, .user = login_used()};
  log_submission(&fields, log_socket);
  run_tool("bin/qmail-smtpd");
}

static void run_mode(const char* mode, const char* log_socket) {
  if (mode[0] == '\0' || mode[1] != '\0') refuse_mode(mode);
  switch (mode[0]) {
  case 'm':
    return;
  case 'p':
    run_tool("bin/qmail-qread");
  case 'P':
    run_tool("bin/qmail-qstat");
  case 'h':
    run_tool("bin/qmail-tcpto");
  case 'H':
    run_tool("bin/qmail-tcpok");
  case 's':
    smtp_mode(log_socket);
  case 'D':
  case 'd':
    refuse(DAEMON);
  case 'i':
    refuse(ALIASES);
  case 'q':
    refuse(QUEUE);
  default:
    refuse_mode(mode);
  }
}

void dispatch_modes(const char* log_socket) {
  if (initialize_aliases) refuse(ALIASES);
  if (operation_mode) run_mode(operation_mode, log_socket);
  // The modes have run already, so their programs never see MAILNAME; the named tools do.
  if (sender_full_name && !env_put("MAILNAME", sender_full_name)) die_nomem();
  if (text_compare(program_name, "mailq") == 0) run_tool("bin/qmail-qread");
  if (text_compare(program_name, "hoststat") == 0) run_tool("bin/qmail-tcpto");
  if (text_compare(program_name, "purgestat") == 0) run_tool("bin/qmail-tcpok");
  if (text_compare(program_name, "newaliases") == 0) refuse(ALIASES);
  if (text_compare(program_name, "smtpd") == 0) refuse(DAEMON);
}

}  // namespace postlet
