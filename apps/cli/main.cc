// salvora-cli: the scan and export engine without the windows.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs(
      "Usage: salvora-cli COMMAND [OPTIONS]\n"
      "\n"
      "Commands:\n"
      "  list [--root DIR] [--json]   the backups kept on this computer, newest first\n"
      "  scan SOURCE [--password PW | --password-file FILE] [--json]\n"
      "                               scan a backup folder (or \"device\": the connected\n"
      "                               device) and show what it holds\n"
      "  export SOURCE OUTDIR [--password PW | --password-file FILE]\n"
      "         [--only CATEGORY,...] [--deleted-only] [--json]\n"
      "                               scan SOURCE and write its items into OUTDIR\n"
      "  device info                  the connected device: name, class, version, encryption\n"
      "  device backup OUTDIR [--password PW | --password-file FILE]\n"
      "                               back the connected device up into OUTDIR\n"
      "  help                         this text\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace salvora::cli;
  if (argc < 2) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "list") return RunList(args);
  if (command == "scan") return RunScanCommand(args);
  if (command == "export") return RunExportCommand(args);
  if (command == "device") return RunDeviceCommand(args);
  if (command == "help" || command == "--help" || command == "-h") {
    PrintUsage(stdout);
    return kExitDone;
  }
  std::fprintf(stderr, "Unknown command \"%s\".\n\n", command.c_str());
  PrintUsage(stderr);
  return kExitUsage;
}
