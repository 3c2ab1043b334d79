// downstream.cc: the real programs' home, their sandbox links and what the recorder saved.
#include "downstream/downstream.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace downstream {

std::string unavailable() {
  std::string status = blackbox::read_file(std::string(DOWNSTREAM_OUT) + "/status");
  if (status.empty()) return "fail: the downstream build step has not run";
  if (status.back() == '\n') status.pop_back();
  return status == "ready" ? "" : status;
}

void install_programs(const blackbox::sandbox& box) {
  for (const char* name : {"qmail-inject", "qmail-smtpd"}) {
    std::filesystem::create_symlink(std::string(DOWNSTREAM_OUT) + "/home/bin/" + name,
                                    box.home + "/bin/" + name);
  }
}

std::vector<std::string> with_recorder(const blackbox::sandbox& box, std::vector<std::string> env) {
  env.push_back("QQREC_DIR=" + box.home + "/record");
  return env;
}

queued read_queue(const blackbox::sandbox& box) {
  queued q;
  const std::string dir = box.home + "/record/";
  const std::string runs = blackbox::read_file(dir + "runs");
  q.runs = static_cast<int>(std::count(runs.begin(), runs.end(), '\n'));
  // F<sender>\0, T<recipient>\0 each, and a final \0; without it qmail-queue queues nothing,
  // as when the sending program gave up halfway.
  std::string envelope = blackbox::read_file(dir + "envelope");
  if (envelope.size() < 2 || envelope.compare(envelope.size() - 2, 2, std::string(2, '\0')) != 0)
    return q;
  q.queued = true;
  q.message = blackbox::read_file(dir + "message");
  size_t start = 0;
  for (size_t end; (end = envelope.find('\0', start)) != std::string::npos; start = end + 1) {
    std::string item = envelope.substr(start, end - start);
    if (item.empty()) break;
    if (item[0] == 'F') {
      q.sender = item.substr(1);
    } else {
      q.recipients.push_back(item[0] == 'T' ? item.substr(1) : "?" + item);
    }
  }
  std::istringstream lines(blackbox::read_file(dir + "environ"));
  for (std::string line; std::getline(lines, line);)
    q.env.push_back(line);
  // The shell in front of the recorder passes the variables on in an order of its own.
  std::sort(q.env.begin(), q.env.end());
  return q;
}

std::string header_of(const std::string& message) {
  size_t end = message.find("\n\n");
  return end == std::string::npos ? message : message.substr(0, end + 1);
}

std::string body_of(const std::string& message) {
  size_t end = message.find("\n\n");
  return end == std::string::npos ? "" : message.substr(end + 2);
}

std::string header_line(const std::string& message, const std::string& name) {
  std::istringstream lines(header_of(message));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(name, 0) == 0) return line;
  }
  return "";
}

}  // namespace downstream
