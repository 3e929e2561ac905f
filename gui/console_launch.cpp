#include "gui/console_launch.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace flashkit {
namespace {

namespace fs = std::filesystem;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The program name is read apart from the rest: quotes group, but a backslash
// is a path separator there, never an escape.
size_t TakeProgramName(const std::string& line, size_t at, std::string& word) {
  bool in_quotes = false;
  for (; at < line.size() && (in_quotes || !IsBlank(line[at])); ++at) {
    if (line[at] == '"') {
      in_quotes = !in_quotes;
    } else {
      word += line[at];
    }
  }
  return at;
}

size_t TakeArgument(const std::string& line, size_t at, std::string& word) {
  bool in_quotes = false;
  while (at < line.size()) {
    size_t slashes = 0;
    while (at < line.size() && line[at] == '\\') {
      ++slashes;
      ++at;
    }
    bool at_quote = at < line.size() && line[at] == '"';
    bool literal = !at_quote;
    if (at_quote) {
      if (slashes % 2 == 1) {
        literal = true;
      } else if (in_quotes && at + 1 < line.size() && line[at + 1] == '"') {
        // "" inside quotes is one literal quote; the quoted part goes on.
        literal = true;
        ++at;
      } else {
        in_quotes = !in_quotes;
      }
      slashes /= 2;
    }
    word.append(slashes, '\\');
    if (at >= line.size() || (!in_quotes && IsBlank(line[at]))) break;
    if (literal) word += line[at];
    ++at;
  }
  return at;
}

bool IsExecutableFile(const fs::path& path) {
  std::error_code error;
  fs::file_status status = fs::status(path, error);
  if (error || !fs::is_regular_file(status)) return false;
  constexpr fs::perms kAnyExec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  return (status.permissions() & kAnyExec) != fs::perms::none;
}

bool EndsWithExe(const std::string& name) {
  constexpr std::string_view kExe = ".exe";
  if (name.size() <= kExe.size()) return false;
  return std::equal(kExe.begin(), kExe.end(), name.end() - kExe.size(), [](char want, char got) {
    return want == std::tolower(static_cast<unsigned char>(got));
  });
}

// The names tried in each folder: as given, then without ".exe" (in any case).
std::vector<std::string> CandidateNames(const std::string& name) {
  std::vector<std::string> names{name};
  if (EndsWithExe(name)) names.push_back(name.substr(0, name.size() - 4));
  return names;
}

std::optional<std::string> FindIn(const fs::path& folder, const std::vector<std::string>& names) {
  for (const std::string& candidate : names) {
    fs::path path = folder / candidate;
    if (IsExecutableFile(path)) return path.string();
  }
  return std::nullopt;
}

std::vector<std::string> SearchFolders(const ProgramSearch& search) {
  std::vector<std::string> folders{search.program_folder, search.current_folder};
  size_t start = 0;
  while (start <= search.path.size()) {
    size_t end = std::min(search.path.find(':', start), search.path.size());
    folders.push_back(search.path.substr(start, end - start));
    start = end + 1;
  }
  // An empty entry stands for the current folder, which was searched already.
  std::erase_if(folders, [](const std::string& folder) { return folder.empty(); });
  return folders;
}

// The text between the line's double quotes that splits back into `name`.
// Windows file names hold no quote, so there this is the name itself; here a
// quote, or backslashes before one or before the closing quote, must be
// escaped or the name would swallow the options after it.
std::string QuotedText(const std::string& name) {
  std::string text;
  size_t slashes = 0;
  for (char c : name) {
    if (c == '\\') {
      ++slashes;
    } else {
      if (c == '"') text.append(slashes + 1, '\\');
      slashes = 0;
    }
    text += c;
  }
  text.append(slashes, '\\');
  return text;
}

}  // namespace

std::string BuildCommandLine(const std::string& file_name, const std::string& modem_switch,
                             const std::string& port_text, const std::string& baud_text) {
  return "linkxfer.exe \"" + QuotedText(file_name) + "\" " + modem_switch + " -p" + port_text + " -b" + baud_text;
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  size_t at = 0;
  while (true) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at >= line.size()) break;
    std::string word;
    at = words.empty() ? TakeProgramName(line, at, word) : TakeArgument(line, at, word);
    words.push_back(std::move(word));
  }
  return words;
}

std::optional<std::string> ResolveProgram(const std::string& name, const ProgramSearch& search) {
  if (name.empty()) return std::nullopt;
  std::vector<std::string> names = CandidateNames(name);
  if (name.find('/') != std::string::npos) {
    // A path is taken as it stands, relative to the current folder.
    fs::path given(name);
    fs::path folder = given.is_absolute() ? fs::path() : fs::path(search.current_folder);
    return FindIn(folder, names);
  }
  for (const std::string& folder : SearchFolders(search)) {
    if (auto found = FindIn(folder, names)) return found;
  }
  return std::nullopt;
}

}  // namespace flashkit
