// message_test.cc: the choices of hand-over the black-box tests cannot reach, and what the pump's
// copy then writes.
#include "message/message.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "header/header_capture.h"
#include "lib/in_buffer.h"
#include "message/pump.h"

using namespace postlet;

TEST(Message, ChoiceAndCopyAtTheBounds) {
  // A CR LF that the scan of the file reads in two chunks.
  const std::string split = "To: c\n\n" + std::string(PUMP_CHUNK - 8, 'x') + "\r\n";
  // The capture's byte bound falls between a CR and its LF.
  const std::string y(HEADER_CAPTURE_BYTES - 14, 'y');
  const struct {
    const char* name;
    std::string message;
    off_t size;         // the file's size, holes after the message
    std::string reads;  // what the pump writes; "" to leave it
  } cases[] = {
      {"CR LF across the scan's chunks", split, 0, split.substr(0, split.size() - 2) + "\n"},
      {"the byte bound between CR and LF", "From: a@b\nX: " + y + "\r\nB\r\n", 0,
       "From: a@b\nX: " + y + "\nB\n"},
      {"longer than the scan, no CR at all", "To: c\n\n",
       static_cast<off_t>(MESSAGE_SCAN_BYTES) + 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int saved = dup(0);
    int fd = memfd_create("message", 0);
    ASSERT_EQ(static_cast<ssize_t>(c.message.size()), write(fd, c.message.data(), c.message.size()));
    ASSERT_EQ(0, ftruncate(fd, std::max<off_t>(c.size, static_cast<off_t>(c.message.size()))));
    ASSERT_EQ(0, lseek(fd, 0, SEEK_SET));
    dup2(fd, 0);
    close(fd);
    standard_input_buffer.available = 0;
    standard_input_buffer.position = 4096;
    message_way = message_plan{};
    message_read(0, 0);
    EXPECT_EQ(1, message_way.pump);
    if (!c.reads.empty()) {
      int out = memfd_create("out", 0);
      EXPECT_EQ(PUMP_DONE, pump_copy(out, 0));
      std::string reads(static_cast<size_t>(lseek(out, 0, SEEK_CUR)), '\0');
      EXPECT_EQ(static_cast<ssize_t>(reads.size()), pread(out, reads.data(), reads.size(), 0));
      EXPECT_TRUE(c.reads == reads) << reads.size() << " bytes";
      close(out);
    }
    dup2(saved, 0);
    close(saved);
  }
}
