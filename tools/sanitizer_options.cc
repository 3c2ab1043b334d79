// sanitizer_options.cc: run-time defaults linked into the executables of the sanitizer build.
#if defined(POSTLET_SANITIZE)
// Nothing is freed on the way to exec or exit, by design, so a leak report at exit says nothing
// about a fault; this build is there for overruns and undefined behaviour. The fuzz targets,
// which release what they use, keep leak detection.
extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
  return "detect_leaks=0";
}
#endif
