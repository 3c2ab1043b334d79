// recipients.cc: recipient arguments to injector arguments.
#include "front/recipients.h"

#include "address/address_parse.h"
#include "front/hand_over.h"
#include "lib/diagnostics.h"
#include "lib/text.h"

namespace postlet {

static void add_recipient(const char* argument) {
  // Each argument gets storage of its own; earlier ones are abandoned, not freed.
  byte_string input = {};
  address_list list = {};
  if (!byte_string_copy_text(&input, argument)) die_nomem();
  int result = address_parse(&list, &input, 1);
  if (result == 1) die_nomem();
  if (result != 0) {
    if (!arg_add(argument)) die_nomem();
    return;
  }
  for (uint32_t i = 0; i < list.len;) {
    const char* text = list.data + i + 1;
    uint32_t length = text_length(text);
    if (list.data[i] == ADDRESS_ENTRY && length && !arg_add(text)) die_nomem();
    i += length + 2;
  }
}

void add_recipients(char** arguments, int count) {
  for (int i = 0; i < count && arguments[i]; ++i)
    add_recipient(arguments[i]);
}

}  // namespace postlet
