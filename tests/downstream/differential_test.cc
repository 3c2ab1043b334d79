// differential_test.cc: postlet -t against the real qmail-inject -H on generated headers. postlet
// must never let a header through that qmail-inject queues for no one, and never refuse one that
// qmail-inject would queue to someone. POSTLET_DIFFERENTIAL_COUNT sets how many headers (300 by
// default) and POSTLET_DIFFERENTIAL_SEED replays a run; the seed is printed either way.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <random>
#include <string>

#include "blackbox/driver.h"
#include "downstream/downstream.h"

using namespace blackbox;

namespace {

// Recipient fields, the fields that make only Resent- recipients count, sender fields that
// qmail-inject must parse, and others; mbox lines and lines that end the header.
const char* const NAMES[] = {"To",         "Cc",          "Bcc",         "Apparently-To",
                             "Resent-To",  "Resent-Cc",   "Resent-Bcc",  "Resent-Date",
                             "Resent-From", "From",       "Sender",      "Reply-To",
                             "Return-Path", "Subject",    "X-To",        "Errors-To"};

// Pieces of address lists: ordinary and empty addresses, routes, groups, comments, quotes and
// literals, closed and left open, and stray specials.
const char* const ITEMS[] = {
    "a@b.example", "joe",       "<a@b.example>", "<>",        "@",          ".",
    "<@>",         "<.>",       "@host.example", "<@r.example:>", "<@r.example:u@h.example>",
    "Name <a@b.example>",       "\"quoted\" <a@b.example>", "\"unclosed", "(comment)",
    "(unclosed",   "(nested (c))", "grp: a@b.example;", "grp:;",   "undisclosed-recipients: ;",
    "[192.0.2.1]", "@[]",       "a@[]",          "\\",        ")",          "]",
    ">",           "<",         "\"\"",          "a)b",       "a\\,b@c.example", "x:",
    ";",           ":",         "@.",            ".@",        "<(c)>",      "<@(c)>",
    "u@h.example.", "\"a b\"@c.example", "a@b.example (Joe)", "<a@b.example", "a@b.example>",
    ",",           "@@",        "<<a@b>>",       "[",         "\"\\\"\""};

const char* const SEPARATORS[] = {", ", ",", " ", "", ";", ": ", "\n ", "\n\t", ",\n "};

std::string pick_case(std::mt19937_64& rng, const std::string& name) {
  std::string out = name;
  switch (rng() % 4) {
  case 0:
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    break;
  case 1:
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    break;
  default:
    break;
  }
  return out;
}

std::string header(std::mt19937_64& rng) {
  std::string h;
  const std::string end = rng() % 4 == 0 ? "\r\n" : "\n";
  int fields = static_cast<int>(1 + rng() % 4);
  for (int f = 0; f < fields; ++f) {
    switch (rng() % 20) {
    case 0:
      h += "From someone@x Mon Dec 11 00:00:00 2026" + end;
      continue;
    case 1:
      h += "not a field" + end;
      continue;
    default:
      break;
    }
    // Half the fields are To, Cc or Bcc, the rest any of the names.
    std::string field = pick_case(rng, NAMES[rng() % (rng() % 2 ? 3 : std::size(NAMES))]);
    static const char* const BLANKS[] = {"", "", "", " ", "\t"};
    field += std::string(BLANKS[rng() % std::size(BLANKS)]) + ":";
    if (rng() % 3) field += " ";
    int items = static_cast<int>(rng() % 4);
    for (int i = 0; i < items; ++i) {
      if (i) field += SEPARATORS[rng() % std::size(SEPARATORS)];
      field += ITEMS[rng() % std::size(ITEMS)];
    }
    // Folds are written with the header's own line end.
    for (char c : field) {
      if (c == '\n') h += end;
      else h += c;
    }
    h += end;
  }
  return h + end + "Body" + end;
}

bool queued_to_someone(const downstream::queued& q) {
  if (!q.queued) return false;
  for (const auto& r : q.recipients) {
    if (!r.empty()) return true;
  }
  return false;
}

}  // namespace

TEST(Downstream, DashTRefusesExactlyWhatQmailInjectQueuesForNoOne) {
  REQUIRE_DOWNSTREAM();
  const char* count_text = std::getenv("POSTLET_DIFFERENTIAL_COUNT");
  const char* seed_text = std::getenv("POSTLET_DIFFERENTIAL_SEED");
  const long count = count_text ? std::atol(count_text) : 300;
  const unsigned long long seed = seed_text ? std::strtoull(seed_text, nullptr, 10)
                                            : std::random_device{}();
  std::cout << "POSTLET_DIFFERENTIAL_SEED=" << seed << " POSTLET_DIFFERENTIAL_COUNT=" << count
            << std::endl;
  RecordProperty("seed", std::to_string(seed));
  std::mt19937_64 rng(seed);
  sandbox box;
  downstream::install_programs(box);
  const std::string inject = std::string(DOWNSTREAM_OUT) + "/home/bin/qmail-inject";
  long refused = 0, queued = 0, failed = 0;
  for (long i = 0; i < count; ++i) {
    const std::string message = header(rng);
    const bool file = rng() % 4 == 0;
    strings env = downstream::with_recorder(box, {"PATH=/usr/bin:/bin", "USER=ann"});
    if (rng() % 10 == 0) env.push_back("QMAILINJECT=f");
    SCOPED_TRACE("header " + std::to_string(i) + " of seed " + std::to_string(seed) + ":\n" +
                 message);
    std::filesystem::remove(box.home + "/record/envelope");
    auto r = run(box, {.argv = {"postlet", "-t"},
                       .env = env,
                       .input = file ? input_kind::file : input_kind::pipe,
                       .stdin_bytes = message});
    auto q = downstream::read_queue(box);
    if (r.status == 2) {
      ++refused;
      ASSERT_EQ("postlet: no recipients. the header names no To:, Cc: or Bcc: address.\n", r.err);
      ASSERT_FALSE(q.queued);
      // qmail-inject itself, given the same message with its line ends mended.
      std::string mended;
      for (size_t at = 0; at < message.size(); ++at) {
        if (!(message[at] == '\r' && at + 1 < message.size() && message[at + 1] == '\n'))
          mended += message[at];
      }
      auto direct = run(box, {.argv = {"qmail-inject", "-H"},
                              .env = env,
                              .program = inject,
                              .input = input_kind::pipe,
                              .stdin_bytes = mended});
      auto d = downstream::read_queue(box);
      ASSERT_FALSE(queued_to_someone(d)) << "qmail-inject queued it, status " << direct.status;
    } else if (q.queued) {
      ++queued;
      ASSERT_EQ(0, r.status) << r.err;
      ASSERT_TRUE(queued_to_someone(q)) << "queued for no one";
    } else {
      // qmail-inject failed on a field it cannot parse, and queued nothing.
      ++failed;
      ASSERT_NE(0, r.status);
    }
  }
  std::cout << refused << " refused, " << queued << " queued, " << failed
            << " failed in qmail-inject" << std::endl;
}
