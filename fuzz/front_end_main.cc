// front_end_main.cc: the program's main under another name, for the whole-program fuzz target.
#define main postlet_main
// The log line goes to the socket the harness names in the environment: one nobody listens on.
#define POSTLET_LOG_SOCKET_VARIABLE 1
#include "front/main.cc"
