#pragma once

#include <optional>
#include <string>
#include <vector>

namespace flashkit {

// The linkxfer command line of a SERIAL + Ymodem download:
// linkxfer.exe "<file>" <switch> -p<port> -b<baud>
std::string BuildCommandLine(const std::string& file_name, const std::string& modem_switch,
                             const std::string& port_text, const std::string& baud_text);

// Splits a command line the way a Windows program's start-up code does:
// blanks separate words, double quotes group and are removed, backslashes
// escape a quote only in front of one.
std::vector<std::string> SplitCommandLine(const std::string& line);

// Where a command line's first word is looked up: the folder of the running
// program, then the current folder, then each folder of PATH. A name ending
// in ".exe" is also tried without it. Empty when nothing executable is found.
struct ProgramSearch {
  std::string program_folder;
  std::string current_folder;
  std::string path;  // the PATH variable, ':'-separated
};
std::optional<std::string> ResolveProgram(const std::string& name, const ProgramSearch& search);

}  // namespace flashkit
