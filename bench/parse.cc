// parse.cc: the strict parse of recipient lists of 64 KiB, 256 KiB and 1 MiB, timed by itself.
// Run by hand: cmake --build BUILD --target postlet-bench-parse && BUILD/postlet-bench-parse
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ratio>
#include <string>

#include "address/address_parse.h"

using namespace postlet;

int main() {
  for (uint32_t size : {64u * 1024, 256u * 1024, 1024u * 1024}) {
    std::string text;
    uint32_t count = 0;
    while (text.size() < size) {
      text += "user" + std::to_string(count) + "@host" + std::to_string(count % 97) + ".example, ";
      ++count;
    }
    text.resize(size);
    while (text.back() == ',' || text.back() == ' ' || text.back() == '.')
      text.pop_back();
    auto n = static_cast<uint32_t>(text.size());
    byte_string in = {text.data(), n, n};
    double best = 1e30;
    uint32_t entries = 0;
    for (int run = 0; run < 5; ++run) {
      address_list list = {};
      auto start = std::chrono::steady_clock::now();
      int result = address_parse(&list, &in, 1);
      auto stop = std::chrono::steady_clock::now();
      if (result != 0) {
        std::printf("strict parse of %u bytes: result %d\n", n, result);
        return 1;
      }
      entries = 0;
      for (uint32_t k = 0; k < list.len; ++k)
        entries += list.data[k] == '\0';
      byte_string_release(&list);
      best = std::min(best, std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::printf("strict parse of %7u bytes: %u addresses, best of 5 %.3f ms, %.2f ns/byte\n", n,
                entries, best, best * 1e6 / n);
  }
  return 0;
}
