// front_end_main.cc: the program's main under another name, for the whole-program fuzz target.
#define main postlet_main
#include "front/main.cc"
