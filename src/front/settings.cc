// settings.cc: the settings, all empty when the process starts.
#include "front/settings.h"

namespace postlet {

constinit const char* operation_mode = nullptr;
constinit const char* sender_full_name = nullptr;
constinit const char* envelope_sender = nullptr;
constinit int32_t initialize_aliases = 0;
constinit int32_t header_recipients = 0;
constinit int32_t debug_mode = 0;
constinit int32_t address_debug = 0;
constinit const char* environment_debug = nullptr;
constinit const char* log_label = nullptr;

constinit const char* ignored_text = nullptr;
constinit int32_t ignored_flag = 0;
constinit uint64_t ignored_number = 0;

}  // namespace postlet
