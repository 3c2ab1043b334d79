// hand_over_test.cc: environment merge, argument vector and the PATH search.
#include "front/hand_over.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace postlet;

extern "C" char** environ;

namespace {

struct temp_dir {
  std::string path;
  temp_dir() {
    char pattern[] = "/tmp/plh-XXXXXX";
    path = mkdtemp(pattern);
  }
  ~temp_dir() { std::filesystem::remove_all(path); }
};

void write_script(const std::string& path, const std::string& body, int mode = 0755) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << body;
  chmod(path.c_str(), static_cast<mode_t>(mode));
}

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs body in a child with exactly the given environment; returns its exit status.
template <typename F>
int in_child(std::vector<std::string> env, F body) {
  pid_t pid = fork();
  if (pid == 0) {
    static std::vector<std::string> keep;
    keep = env;
    static std::vector<char*> vector;
    for (auto& e : keep) vector.push_back(e.data());
    vector.push_back(nullptr);
    environ = vector.data();
    body();
    _exit(99);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

}  // namespace

TEST(RunProgram, MergesEditsInOrder) {
  temp_dir dir;
  std::string out = dir.path + "/env";
  // The initial environment of the shell, exactly as execve handed it over.
  write_script(dir.path + "/show", "#!/bin/sh\ncat /proc/$$/environ > " + out + "\n");
  const struct {
    std::vector<std::string> inherited;
    std::vector<std::pair<const char*, const char*>> edits;
    const char* expected;
  } cases[] = {
      {{"A=1", "B=2", "C=3"}, {{"B", "x"}}, "A=1\nC=3\nB=x\n"},
      {{"A=1", "B=2", "C=3"}, {}, "A=1\nB=2\nC=3\n"},
      {{"A=1", "B=2", "C=3"}, {{"D", "4"}}, "A=1\nB=2\nC=3\nD=4\n"},
      {{"B=1", "A=2", "B=3"}, {{"B", "x"}}, "B=3\nA=2\nB=x\n"},
      {{"A=1", "B=2", "C=3"}, {{"A", nullptr}}, "C=3\nB=2\n"},
      {{"A=1", "AB=2"}, {{"A", ""}, {nullptr, "ignored"}, {"AB", "z"}}, "A=\nAB=z\n"},
      {{"A=1"}, {{"B", "1"}, {"B", "2"}}, "A=1\nB=2\n"},
  };
  for (const auto& c : cases) {
    int status = in_child(c.inherited, [&] {
      for (const auto& [name, value] : c.edits) {
        if (!env_put(name, value)) _exit(3);
      }
      std::string program = dir.path + "/show";
      char* argv[] = {program.data(), nullptr};
      run_program(argv);
      _exit(4);
    });
    ASSERT_EQ(0, status);
    std::string got = slurp(out);
    std::replace(got.begin(), got.end(), '\0', '\n');
    EXPECT_EQ(c.expected, got);
  }
}

TEST(ArgVector, KeepsEmptyArgumentsAndResets) {
  int status = in_child({}, [] {
    if (!arg_add("a") || !arg_add("") || !arg_add("c")) _exit(1);
    char** v = arg_vector();
    if (!v || std::string(v[0]) != "a" || std::string(v[1]) != "" || std::string(v[2]) != "c" ||
        v[3] != nullptr)
      _exit(2);
    arg_reset();
    if (!arg_add("only")) _exit(3);
    v = arg_vector();
    _exit(v && std::string(v[0]) == "only" && v[1] == nullptr ? 0 : 4);
  });
  EXPECT_EQ(0, status);
}

TEST(ExecSearch, FollowsThePathRules) {
  temp_dir dir;
  std::string log = dir.path + "/ran";
  auto program = [&](const std::string& where) {
    write_script(dir.path + "/" + where + "/tool", "#!/bin/sh\necho " + where + " >> " + log + "\n");
  };
  program("one");
  program("two");
  write_script(dir.path + "/locked/tool", "#!/bin/sh\necho locked >> " + log + "\n", 0644);
  write_script(dir.path + "/badformat/tool", "no interpreter line\n", 0755);
  write_script(dir.path + "/cwd/tool", "#!/bin/sh\necho cwd >> " + log + "\n");
  std::filesystem::create_directories(dir.path + "/dirnamed/tool");
  const struct {
    std::string path;  // "-" for no PATH at all
    const char* ran;
    int error;  // expected errno when nothing ran
  } cases[] = {
      {"ONE:TWO", "one\n", 0},
      {"TWO:ONE", "two\n", 0},
      {"", "cwd\n", 0},
      {":ONE", "cwd\n", 0},
      {"ONE:", "one\n", 0},
      {"NONE:NONE", "", ENOENT},
      {"NONE::", "cwd\n", 0},
      {"LOCKED:NONE", "", EACCES},
      {"LOCKED:TWO", "two\n", 0},
      {"DIRNAMED:TWO", "two\n", 0},
      {"BADFORMAT:TWO", "", ENOEXEC},
      {"-", "", ENOENT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::filesystem::remove(log);
    std::string path = c.path;
    for (auto [word, folder] : {std::pair{"ONE", "one"}, {"TWO", "two"}, {"NONE", "none"},
                                {"LOCKED", "locked"}, {"BADFORMAT", "badformat"},
                                {"DIRNAMED", "dirnamed"}}) {
      for (size_t at; (at = path.find(word)) != std::string::npos;)
        path.replace(at, strlen(word), dir.path + "/" + folder);
    }
    std::vector<std::string> env;
    if (c.path != "-") env.push_back("PATH=" + path);
    int status = in_child(env, [&] {
      if (chdir((dir.path + "/cwd").c_str()) != 0) _exit(98);
      char name[] = "tool";
      char* argv[] = {name, nullptr};
      exec_search("tool", argv, environ);
      _exit(errno == c.error ? 50 : 51);
    });
    std::string ran = std::filesystem::exists(log) ? slurp(log) : "";
    EXPECT_EQ(c.ran, ran);
    EXPECT_EQ(c.error ? 50 : 0, status);
  }
}

// Without PATH the search has two places, and their order can only be seen from inside.
static std::vector<std::string>* recorded_execs = nullptr;

extern "C" int execve(const char* path, char* const argv[], char* const envp[]) {
  if (!recorded_execs) return static_cast<int>(syscall(SYS_execve, path, argv, envp));
  recorded_execs->push_back(path);
  errno = ENOENT;
  return -1;
}

TEST(ExecSearch, WithoutPathBinComesBeforeUsrBin) {
  std::vector<std::string> tried;
  char* empty[] = {nullptr};
  char** saved = environ;
  environ = empty;
  recorded_execs = &tried;
  char name[] = "tool";
  char* argv[] = {name, nullptr};
  exec_search("tool", argv, empty);
  int error = errno;
  recorded_execs = nullptr;
  environ = saved;
  EXPECT_EQ((std::vector<std::string>{"/bin/tool", "/usr/bin/tool"}), tried);
  EXPECT_EQ(ENOENT, error);
}
