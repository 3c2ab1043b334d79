// message_test.cc: the choice of hand-over for files and pipes, and what the injector then reads:
// the caller's descriptor from its offset, or what the pump's copy writes.
#include "message/message.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "header/header_capture.h"
#include "header/header_index.h"
#include "lib/in_buffer.h"
#include "message/pump.h"

using namespace postlet;

namespace {

std::string read_rest(int fd) {
  std::string s;
  char chunk[65536];
  for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;)
    s.append(chunk, static_cast<size_t>(n));
  return s;
}

// Descriptor 0 becomes a file holding before + message and standing at the message, or a pipe
// holding the message; the pipe's writer is a child, so messages of any size fit.
void put_input(bool file, const std::string& before, const std::string& message) {
  int fd;
  if (file) {
    fd = memfd_create("message", 0);
    std::string all = before + message;
    ASSERT_EQ(static_cast<ssize_t>(all.size()), write(fd, all.data(), all.size()));
    ASSERT_EQ(static_cast<off_t>(before.size()),
              lseek(fd, static_cast<off_t>(before.size()), SEEK_SET));
  } else {
    int p[2];
    ASSERT_EQ(0, pipe(p));
    if (fork() == 0) {
      close(p[0]);
      for (size_t at = 0; at < message.size();)
        at += static_cast<size_t>(write(p[1], message.data() + at, message.size() - at));
      _exit(0);
    }
    close(p[1]);
    fd = p[0];
  }
  dup2(fd, 0);
  close(fd);
}

}  // namespace

TEST(Message, TheInjectorReadsTheMessageAsQmailWillDeliverIt) {
  const std::string crlf = "From: a@b\r\nTo: c\r\n\r\nbody\r\n";
  const std::string lf = "From: a@b\nTo: c\n\nbody\n";
  // A CR LF that the scan of the file reads in two chunks.
  const std::string split = "To: c\n\n" + std::string(PUMP_CHUNK - 8, 'x') + "\r\n";
  // The capture's byte bound falls between a CR and its LF.
  const std::string held =
      "From: a@b\nX: " + std::string(HEADER_CAPTURE_BYTES - 14, 'y') + "\r\nB\r\n";
  const struct {
    const char* name;
    bool file;
    std::string message;
    int keep_crlf, header_needed, dry_run;
    int pump;
    std::string reads;  // what the injector reads
    const char* from;
  } cases[] = {
      {"file without CR LF: handed over", true, lf, 0, 0, 0, 0, lf, "a@b"},
      {"file with CR LF: pumped", true, crlf, 0, 0, 0, 1, lf, "a@b"},
      {"file with CR LF, kept", true, crlf, 1, 0, 0, 0, crlf, "a@b\r"},
      {"CR LF across the scan's chunks", true, split, 0, 0, 0, 1,
       split.substr(0, split.size() - 2) + "\n", nullptr},
      {"the byte bound between CR and LF", true, held, 0, 0, 0, 1,
       "From: a@b\nX: " + std::string(HEADER_CAPTURE_BYTES - 14, 'y') + "\nB\n", "a@b"},
      {"pipe: pumped, no identity", false, crlf, 0, 0, 0, 1, lf, nullptr},
      {"pipe kept: handed over unread", false, crlf, 1, 0, 0, 0, crlf, nullptr},
      {"pipe kept, -t: pumped for the header", false, crlf, 1, 1, 0, 1, crlf, nullptr},
      {"dry run, pipe: unread", false, crlf, 0, 1, 1, 0, crlf, nullptr},
      {"dry run, file: put back", true, crlf, 0, 1, 1, 0, crlf, "a@b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int saved = dup(0);
    put_input(c.file, "Decoy: earlier\n\nmessage\r\n", c.message);
    if (c.keep_crlf) setenv("POSTLET_KEEP_CRLF", "", 1);
    standard_input_buffer.available = 0;
    standard_input_buffer.position = 4096;
    header_index = header_index_state{};
    header_capture_result = header_capture_record{};
    message_way = message_plan{};
    const char* from;
    const char* sender;
    message_read(c.dry_run, c.header_needed, &from, &sender);
    unsetenv("POSTLET_KEEP_CRLF");
    EXPECT_EQ(c.pump, message_way.pump);
    EXPECT_EQ(c.from ? c.from : "(none)", std::string(from ? from : "(none)"));
    std::string reads;
    if (message_way.pump) {
      int out = memfd_create("out", 0);
      EXPECT_EQ(PUMP_DONE, pump_copy(out, c.keep_crlf));
      lseek(out, 0, SEEK_SET);
      reads = read_rest(out);
      close(out);
    } else {
      reads = read_rest(0);
    }
    EXPECT_TRUE(c.reads == reads) << reads.size() << " bytes: " << reads.substr(0, 80);
    dup2(saved, 0);
    close(saved);
  }
}

TEST(Message, AFileLongerThanTheScanIsPumped) {
  int saved = dup(0);
  put_input(true, "", "To: c\n\n");
  ASSERT_EQ(0, ftruncate(0, static_cast<off_t>(MESSAGE_SCAN_BYTES) + 1));
  standard_input_buffer.available = 0;
  standard_input_buffer.position = 4096;
  message_way = message_plan{};
  const char* from;
  const char* sender;
  message_read(0, 0, &from, &sender);
  EXPECT_EQ(1, message_way.pump);
  EXPECT_EQ(7u, header_capture_result.header);
  dup2(saved, 0);
  close(saved);
}
