// A stand-in decryptor for the supervision tests. Its third argument (the password) is a
// script of commands separated by "|":
//   out:TEXT   writes TEXT to standard output in one write ("\n" in TEXT is a line feed)
//   sleep:MS   sleeps MS milliseconds
//   args       writes its three arguments, one per line, to OUTPUT/args.txt
//   touch:NAME creates the empty file OUTPUT/NAME
// Unknown commands are ignored.
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  std::signal(SIGPIPE, SIG_IGN);
  const std::string output = argv[2];
  std::string script = argv[3];
  size_t start = 0;
  while (start <= script.size()) {
    size_t end = script.find('|', start);
    if (end == std::string::npos) end = script.size();
    std::string cmd = script.substr(start, end - start);
    start = end + 1;
    if (cmd.rfind("out:", 0) == 0) {
      std::string text = cmd.substr(4);
      for (size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
      (void)!::write(STDOUT_FILENO, text.data(), text.size());
    } else if (cmd.rfind("sleep:", 0) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stol(cmd.substr(6))));
    } else if (cmd == "args") {
      std::ofstream(output + "/args.txt") << argv[1] << "\n" << argv[2] << "\n" << argv[3] << "\n";
    } else if (cmd.rfind("touch:", 0) == 0) {
      std::ofstream(output + "/" + cmd.substr(6));
    }
  }
  return 0;
}
