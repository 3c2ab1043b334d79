// cmdscan_fuzz.cc: postlet's option table over argument vectors cut from the input.
//
// Input: one byte whose low bit sets cmdscan_keep_order, then the arguments after the program
// name, separated by NUL bytes. Each argument lives in a block of its own, so a read past one is
// caught, and the vector is checked against the blocks after the parse.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cmdscan/cmdscan.h"
#include "front/options.h"
#include "front/settings.h"
#include "fuzz_support.h"

using namespace postlet;

static std::string printed[2];

static void capture(int stream, const char* text) {
  FUZZ_CHECK(text != nullptr);
  printed[stream != 0].append(text);
}

struct element {
  char* bytes;
  size_t size;  // with the NUL
};

static bool is_element(const std::vector<element>& elements, const char* p) {
  for (const auto& e : elements) {
    if (p == e.bytes) return true;
  }
  return false;
}

static bool points_into(const std::vector<element>& elements, const char* p) {
  for (const auto& e : elements) {
    if (p >= e.bytes && p < e.bytes + e.size) return true;
  }
  return false;
}

// The table holds nothing that would make the parser end the process.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (const option_desc* row = postlet_options; row->short_name || row->long_name; ++row) {
    uint32_t kind = row->type & ~(CMSC_HIDDEN | CMSC_OPTIONAL | CMSC_ATTACHED);
    FUZZ_CHECK(kind != CMSC_INCLUDE);
    if (kind <= CMSC_FUNCTION) FUZZ_CHECK(row->variable != nullptr);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 14) return -1;
  cmdscan_keep_order = data[0] & 1;
  operation_mode = sender_full_name = envelope_sender = environment_debug = log_label = nullptr;
  initialize_aliases = header_recipients = debug_mode = address_debug = 0;
  printed[0].clear();
  printed[1].clear();

  std::vector<std::string> texts = {"postlet"};
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (!rest.empty()) {
    size_t at = 0;
    for (;;) {
      size_t end = rest.find('\0', at);
      texts.push_back(rest.substr(at, end == std::string::npos ? std::string::npos : end - at));
      if (end == std::string::npos) break;
      at = end + 1;
    }
  }
  std::vector<element> elements;
  std::vector<char*> vector;
  for (const auto& t : texts) {
    char* block = static_cast<char*>(std::malloc(t.size() + 1));
    std::memcpy(block, t.c_str(), t.size() + 1);
    elements.push_back({block, t.size() + 1});
    vector.push_back(block);
  }
  vector.push_back(nullptr);
  const size_t slots = vector.size();

  cmdscan_context ctx = {.program = "postlet",
                         .package = "postlet",
                         .version = "0.1.6",
                         .usage =
                             "usage: postlet [options] [--] [address ...]\n"
                             "Options come first: from the first address on, "
                             "every argument is an address.\n",
                         .epilogue = "\nReport bugs to <postlet-bugs@localhost>",
                         .output = capture,
                         .options = postlet_options,
                         .exit_when_done = 0,
                         .number_error = 0};
  int argc = static_cast<int>(texts.size());
  int r = cmdscan_parse(&ctx, &argc, vector.data());
  FUZZ_CHECK(r == 0 || r == 1 || r == 2);
  if (std::getenv("CMDSCAN_FUZZ_SHOW")) {
    std::fprintf(stderr, "result %d\nout: %s\nerr: %s\n", r, printed[0].c_str(),
                 printed[1].c_str());
  }

  // Null-terminated within its slots, every element readable.
  size_t count = 0;
  while (count < slots && vector[count]) {
    FUZZ_CHECK(std::strlen(vector[count]) < 1u << 15);
    ++count;
  }
  FUZZ_CHECK(count < slots);
  if (r == 1) {
    FUZZ_CHECK(static_cast<size_t>(argc) == count);
    FUZZ_CHECK(argc >= 1);
    FUZZ_CHECK(vector[0] == elements[0].bytes);
    for (size_t i = 0; i < count; ++i)
      FUZZ_CHECK(is_element(elements, vector[i]));
    // No element is left twice.
    for (size_t i = 0; i < count; ++i) {
      for (size_t j = i + 1; j < count; ++j)
        FUZZ_CHECK(vector[i] != vector[j]);
    }
    // -q sets the mode to a text of the program's own; every other value is an element's.
    if (operation_mode && std::strcmp(operation_mode, "q") != 0)
      FUZZ_CHECK(points_into(elements, operation_mode));
    for (const char* text : {sender_full_name, envelope_sender, environment_debug, log_label}) {
      if (text) FUZZ_CHECK(points_into(elements, text));
    }
    // A success prints nothing but the warning about a number argument without digits.
    FUZZ_CHECK(printed[0].empty());
    FUZZ_CHECK(printed[1].empty() == !ctx.number_error);
  } else if (r == 0) {
    // Errors go to standard error, a failed lookup of "--help NAME" to standard output.
    FUZZ_CHECK(!printed[0].empty() || !printed[1].empty());
  } else {
    FUZZ_CHECK(!printed[0].empty());
  }
  for (auto& e : elements)
    std::free(e.bytes);
  return 0;
}
