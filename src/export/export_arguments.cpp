#include "export/export_arguments.h"

#include "common/command_line.h"

bool ParseExportArguments(int argc, const char* const* argv, ExportArguments& arguments, std::string& error) {
  CommandLine line;
  if (!ParseCommandLine(argc, argv, line, error)) return false;
  if (line.operands.size() > 1) {
    error = "more than one output given";
    return false;
  }
  arguments.help = line.help;
  arguments.version = line.version;
  arguments.notes = line.notes;
  if (!line.operands.empty()) arguments.output = line.operands.front();
  return true;
}
