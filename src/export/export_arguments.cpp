#include "export/export_arguments.h"

#include <string_view>

#include "common/shown_name.h"

bool ParseExportArguments(int argc, const char* const* argv, ExportArguments& arguments, std::string& error) {
  bool have_output = false, options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options_ended && arg == "--") {
      options_ended = true;
      continue;
    }
    if (!options_ended && (arg == "--help" || arg == "-h")) {
      arguments.help = true;
      return true;
    }
    if (!options_ended && arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + Shown(arg) + " (try --help)";
      return false;
    }
    if (have_output) {
      error = "more than one output given (try --help)";
      return false;
    }
    arguments.output = arg;
    have_output = true;
  }
  return true;
}
