// identity.cc: sender identity from the header, the envelope sender or the login name.
//
// Every test of a variable looks at the caller's environment, never at the edits made here.
#include "front/identity.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>

#include "address/address_parse.h"
#include "front/hand_over.h"
#include "front/password_entry.h"
#include "front/settings.h"
#include "header/header_index.h"
#include "lib/diagnostics.h"
#include "lib/environment.h"
#include "lib/text.h"

namespace postlet {

constinit int32_t user_identity_set = 0;
constinit int32_t host_identity_set = 0;

constinit const char* looked_up_login = nullptr;

static const char nul_byte[] = "";

// Fixed-size names rather than pointers: nothing for the loader to relocate.
using variable_name = char[11];
static constexpr variable_name USER_VARIABLES[] = {"QMAILUSER", "MAILUSER", "USER", "LOGNAME",
                                                   "QMAILSUSER"};
// The last name counts only for the flags; the login-name test leaves it out.
static constexpr int USER_VARIABLE_COUNT = sizeof USER_VARIABLES / sizeof USER_VARIABLES[0];

static int any_present(const variable_name* names, int count) {
  for (int i = 0; i < count; ++i) {
    if (env_get(names[i])) return 1;
  }
  return 0;
}

void identity_flags() {
  host_identity_set = env_get("QMAILSHOST") != nullptr;
  user_identity_set = any_present(USER_VARIABLES, USER_VARIABLE_COUNT);
  // An inherited QMAILSHOST counts only when the user is named as well.
  if (!user_identity_set) host_identity_set = 0;
}

// Puts name with the first n bytes of text (a local part), copied with a NUL.
static void put_part(const char* name, const char* text, uint32_t n) {
  byte_string scratch = {};
  if (!byte_string_copy(&scratch, text, n) || !byte_string_append_byte(&scratch, nul_byte) ||
      !env_put(name, scratch.data))
    die_nomem();
  byte_string_release(&scratch);
}

// Sets QMAILSHOST and QMAILSUSER from one address as far as the flags allow, then both flags.
// 0, or 1 when a part was too long to pass on: the address is then unusable and sets nothing.
static int identity_from_address(const char* address) {
  uint32_t at = text_find_byte(address, '@');
  if (at == 0) return 0;
  int host = address[at] == '@' && address[at + 1] && !host_identity_set;
  // A part the injector could not be started with makes the address as unusable as an empty one.
  if ((host && !env_entry_fits("QMAILSHOST", text_length(address + at + 1))) ||
      (!user_identity_set && !env_entry_fits("QMAILSUSER", at)))
    return 1;
  // The host part already ends with the address's NUL; only the local part needs a copy.
  if (host && !env_put("QMAILSHOST", address + at + 1)) die_nomem();
  if (!user_identity_set) put_part("QMAILSUSER", address, at);
  user_identity_set = 1;
  host_identity_set = 1;
  return 0;
}

// A byte below 32 or 127, such as a quoted CR, must never reach a variable.
static int has_control_byte(const char* text) {
  for (; *text; ++text) {
    unsigned char c = static_cast<unsigned char>(*text);
    if (c < 32 || c == 127) return 1;
  }
  return 0;
}

// The two header parses share one input and one list; both are abandoned afterwards.
struct field_parse {
  byte_string input;
  address_list addresses;
};

// The first value of the field becomes the parse's input; 0 without one. A NUL inside it becomes
// another control byte, so that the address holding it is unusable rather than cut short there.
static int field_input(field_parse* p, const char* name) {
  const char* value;
  uint32_t n;
  if (!header_field(name, &value, &n)) return 0;
  if (!byte_string_copy(&p->input, value, n)) die_nomem();
  for (uint32_t i = 0; i < n; ++i) {
    if (p->input.data[i] == '\0') p->input.data[i] = '\1';
  }
  return 1;
}

// Parses the input leniently and hands its first address on; one holding a control byte
// counts as an empty address. 1 when that address was too long to pass on, else 0.
static int identity_from_field(field_parse* p) {
  int result = address_parse(&p->addresses, &p->input, 0);
  if (result == 1) die_nomem();
  if (result != 0) return 0;
  for (uint32_t i = 0; i < p->addresses.len;) {
    const char* text = p->addresses.data + i + 1;
    if (p->addresses.data[i] == ADDRESS_ENTRY)
      return identity_from_address(has_control_byte(text) ? nul_byte : text);
    i += text_length(text) + 2;
  }
  return 0;
}

// The name of the password entry of the real user id, or null; a look-up that failed, rather
// than found no entry, also writes a warning line.
static const char* login_name() {
  errno = 0;
  const passwd* entry = password_entry(real_user_id());
  if (entry) return entry->pw_name;
  // These numbers mean the user is unknown; any other is a failed look-up, said but survived.
  int error = errno;
  if (error != 0 && error != ENOENT && error != ESRCH && error != EBADF && error != EPERM)
    warn_message(error, "warning: unable to look up the login name", nullptr, nullptr, nullptr);
  return nullptr;
}

static void envelope_identity(const char* sender) {
  if (env_get("QMAILUSER")) return;
  uint32_t at = text_find_byte(sender, '@');
  int host = sender[at] == '@' && sender[at + 1] && !env_get("QMAILHOST");
  // The sender still goes to the injector as its -f argument.
  if ((host && !env_entry_fits("QMAILHOST", text_length(sender + at + 1))) ||
      !env_entry_fits("QMAILUSER", at))
    return;
  if (host && !env_put("QMAILHOST", sender + at + 1)) die_nomem();
  put_part("QMAILUSER", sender, at);
}

void sender_identity(int from_header) {
  // The null sender names nobody: for the identity it is as if -f had not been given.
  const char* envelope = envelope_sender && envelope_sender[0] ? envelope_sender : nullptr;
  const char* unused;
  uint32_t n;
  // QMAILINJECT's f has the injector delete the From field.
  int from = from_header && header_field("from", &unused, &n) && !injector_option('f');
  if (from_header && !envelope && !user_identity_set) {
    field_parse parse = {};
    if (field_input(&parse, "sender")) (void)identity_from_field(&parse);
    // A From address too long to pass on leaves the identity to the sources after it.
    if (from && !user_identity_set && field_input(&parse, "from") && identity_from_field(&parse))
      from = 0;
  }
  // A From field settles the identity, even one that gave no address: the envelope and the
  // login name add nothing.
  if (from) return;
  if (envelope) {
    envelope_identity(envelope);
    return;
  }
  if (!any_present(USER_VARIABLES, USER_VARIABLE_COUNT - 1)) {
    const char* name = login_name();
    if (name && env_entry_fits("USER", text_length(name)) && !env_put("USER", name)) die_nomem();
    looked_up_login = name;
  }
}

const char* login_used() {
  if (looked_up_login) return looked_up_login;
  const char* user = env_get("USER");
  if (user && *user) return user;
  const char* logname = env_get("LOGNAME");
  return logname && *logname ? logname : nullptr;
}

}  // namespace postlet
