#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "gui/console_launch.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

struct CommandLineRow {
  const char* name;
  const char* file;
  const char* port;
  const char* baud;
  std::string line;
  Words words;  // what the launch hands the child
};

class ConsoleCommandLineTest : public ::testing::TestWithParam<CommandLineRow> {};

TEST_P(ConsoleCommandLineTest, BuiltAndSplitBack) {
  const CommandLineRow& row = GetParam();
  std::string line = BuildCommandLine(row.file, "-sy", row.port, row.baud);
  EXPECT_EQ(line, row.line);
  EXPECT_EQ(SplitCommandLine(line), row.words);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConsoleCommandLineTest,
    ::testing::Values(
        CommandLineRow{"fw.bin on COM3 at 115200", "fw.bin", "3", "115200",
                       "linkxfer.exe \"fw.bin\" -sy -p3 -b115200",
                       {"linkxfer.exe", "fw.bin", "-sy", "-p3", "-b115200"}},
        CommandLineRow{"a name with blanks stays one word", "my fw v2.bin", "3", "115200",
                       "linkxfer.exe \"my fw v2.bin\" -sy -p3 -b115200",
                       {"linkxfer.exe", "my fw v2.bin", "-sy", "-p3", "-b115200"}},
        CommandLineRow{"COM12 gives the digits 12", "fw.bin", "12", "115200",
                       "linkxfer.exe \"fw.bin\" -sy -p12 -b115200",
                       {"linkxfer.exe", "fw.bin", "-sy", "-p12", "-b115200"}},
        CommandLineRow{"a picked baud entry", "fw.bin", "1", "57600", "linkxfer.exe \"fw.bin\" -sy -p1 -b57600",
                       {"linkxfer.exe", "fw.bin", "-sy", "-p1", "-b57600"}},
        CommandLineRow{"a tab in the name stays inside the quotes", "a\tb.bin", "1", "115200",
                       "linkxfer.exe \"a\tb.bin\" -sy -p1 -b115200",
                       {"linkxfer.exe", "a\tb.bin", "-sy", "-p1", "-b115200"}},
        CommandLineRow{"backslashes inside a name stay as they are", R"(a\b\\c.bin)", "1", "115200",
                       R"(linkxfer.exe "a\b\\c.bin" -sy -p1 -b115200)",
                       {"linkxfer.exe", R"(a\b\\c.bin)", "-sy", "-p1", "-b115200"}},
        CommandLineRow{"a quote in a name does not swallow the options", R"(a"b.bin)", "3", "115200",
                       R"(linkxfer.exe "a\"b.bin" -sy -p3 -b115200)",
                       {"linkxfer.exe", R"(a"b.bin)", "-sy", "-p3", "-b115200"}},
        CommandLineRow{"backslashes before a quote in a name", R"(a\"b)", "3", "115200",
                       R"(linkxfer.exe "a\\\"b" -sy -p3 -b115200)",
                       {"linkxfer.exe", R"(a\"b)", "-sy", "-p3", "-b115200"}},
        CommandLineRow{"a name ending in a backslash keeps its closing quote", R"(fw\)", "3", "115200",
                       R"(linkxfer.exe "fw\\" -sy -p3 -b115200)",
                       {"linkxfer.exe", R"(fw\)", "-sy", "-p3", "-b115200"}}),
    XferRowName<CommandLineRow>);

struct SplitRow {
  const char* name;
  std::string line;
  Words words;
};

class ConsoleSplitTest : public ::testing::TestWithParam<SplitRow> {};

TEST_P(ConsoleSplitTest, Words) { EXPECT_EQ(SplitCommandLine(GetParam().line), GetParam().words); }

INSTANTIATE_TEST_SUITE_P(
    Rows, ConsoleSplitTest,
    ::testing::Values(
        SplitRow{"blanks and tabs separate, runs count once", "prog a \t b\t\tc", {"prog", "a", "b", "c"}},
        SplitRow{"blanks around the line", "  prog  a  ", {"prog", "a"}},
        SplitRow{"an empty line has no words", "", {}},
        SplitRow{"quotes group and are removed", R"(prog "my fw.bin" -sy)", {"prog", "my fw.bin", "-sy"}},
        SplitRow{"a quoted part inside a word", R"(prog a"b c"d)", {"prog", "ab cd"}},
        SplitRow{"empty quotes are an empty word", R"(prog "" x)", {"prog", "", "x"}},
        SplitRow{"backslashes not before a quote are literal", R"(prog C:\dir\fw.bin a\\b)",
                 {"prog", R"(C:\dir\fw.bin)", R"(a\\b)"}},
        SplitRow{"2n backslashes and a quote: n backslashes, the quote closes", R"(prog "a\\" b)",
                 {"prog", R"(a\)", "b"}},
        SplitRow{"2n+1 backslashes and a quote: n backslashes and a literal quote", R"(prog a\"b "c\\\"d")",
                 {"prog", R"(a"b)", R"(c\"d)"}},
        SplitRow{"a doubled quote inside quotes is one quote, the quotes go on", R"(prog "a""b c" d)",
                 {"prog", R"(a"b c)", "d"}},
        SplitRow{"a doubled quote after a quoted part", R"(prog a"b"" c d)", {"prog", R"(ab" c d)"}},
        SplitRow{"an unclosed quote runs to the end", R"(prog "a  b)", {"prog", "a  b"}},
        SplitRow{"program name: quotes group", R"("C:\Program Files\linkxfer.exe" -sy)",
                 {R"(C:\Program Files\linkxfer.exe)", "-sy"}},
        SplitRow{"program name: a backslash before a quote stays", R"("C:\tools\" -sy)", {R"(C:\tools\)", "-sy"}},
        SplitRow{"program name: quotes in the middle", R"(link"xfer dir"\a.exe b)",
                 {R"(linkxfer dir\a.exe)", "b"}}),
    XferRowName<SplitRow>);

enum class Kind { kExecutable, kPlain, kFolder };

struct Entry {
  std::string folder;  // "prog", "cur", "path1", "path2"
  std::string name;
  Kind kind = Kind::kExecutable;
};

struct LookupRow {
  const char* name;
  std::vector<Entry> entries;
  std::vector<std::string> path;  // folders of PATH in order; "" is an empty entry
  std::string query = "linkxfer.exe";
  std::optional<std::string> found;  // "folder/name"
};

class ConsoleLookupTest : public ::testing::TestWithParam<LookupRow> {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("flashkit-lookup-" + std::to_string(std::random_device{}()));
    for (const char* folder : {"prog", "cur", "path1", "path2"}) fs::create_directories(root_ / folder);
  }
  void TearDown() override { fs::remove_all(root_); }

  void Make(const Entry& entry) {
    fs::path path = root_ / entry.folder / entry.name;
    fs::create_directories(path.parent_path());
    if (entry.kind == Kind::kFolder) {
      fs::create_directories(path);
      fs::permissions(path, fs::perms::owner_all);
      return;
    }
    std::ofstream(path) << "#!/bin/sh\n";
    fs::permissions(path, entry.kind == Kind::kExecutable ? fs::perms::owner_all | fs::perms::group_exec
                                                          : fs::perms::owner_read | fs::perms::owner_write);
  }

  ProgramSearch Search(const std::vector<std::string>& path) const {
    ProgramSearch search{(root_ / "prog").string(), (root_ / "cur").string(), ""};
    for (size_t i = 0; i < path.size(); ++i) {
      if (i > 0) search.path += ':';
      if (!path[i].empty()) search.path += (root_ / path[i]).string();
    }
    return search;
  }

  fs::path root_;
};

TEST_P(ConsoleLookupTest, Finds) {
  const LookupRow& row = GetParam();
  for (const Entry& entry : row.entries) Make(entry);
  std::optional<std::string> want;
  if (row.found) want = (root_ / *row.found).string();
  EXPECT_EQ(ResolveProgram(row.query, Search(row.path)), want);
}

const Kind kPlain = Kind::kPlain;
const Kind kFolder = Kind::kFolder;

INSTANTIATE_TEST_SUITE_P(
    Rows, ConsoleLookupTest,
    ::testing::Values(
        LookupRow{"program folder wins over the current folder and PATH",
                  {{"prog", "linkxfer.exe"}, {"cur", "linkxfer.exe"}, {"path1", "linkxfer.exe"}},
                  {"path1"}, "linkxfer.exe", "prog/linkxfer.exe"},
        LookupRow{"current folder wins over PATH", {{"cur", "linkxfer"}, {"path1", "linkxfer.exe"}},
                  {"path1"}, "linkxfer.exe", "cur/linkxfer"},
        LookupRow{"PATH in its order", {{"path1", "linkxfer"}, {"path2", "linkxfer"}}, {"path2", "path1"},
                  "linkxfer.exe", "path2/linkxfer"},
        LookupRow{"the name as given before the one without .exe",
                  {{"prog", "linkxfer"}, {"prog", "linkxfer.exe"}}, {}, "linkxfer.exe", "prog/linkxfer.exe"},
        LookupRow{".exe dropped in any case", {{"prog", "LINKXFER"}}, {}, "LINKXFER.EXE", "prog/LINKXFER"},
        LookupRow{"a name without .exe is not given one", {{"prog", "linkxfer.exe"}}, {}, "linkxfer",
                  std::nullopt},
        LookupRow{"a file without execute permission is skipped",
                  {{"prog", "linkxfer.exe", kPlain}, {"prog", "linkxfer", kPlain}, {"path1", "linkxfer"}},
                  {"path1"}, "linkxfer.exe", "path1/linkxfer"},
        LookupRow{"a folder of that name is skipped", {{"prog", "linkxfer", kFolder}, {"cur", "linkxfer"}},
                  {}, "linkxfer.exe", "cur/linkxfer"},
        LookupRow{"empty PATH entries are skipped", {{"path2", "linkxfer"}}, {"", "path2", ""}, "linkxfer.exe",
                  "path2/linkxfer"},
        LookupRow{"nothing executable anywhere", {{"cur", "linkxfer.exe", kPlain}}, {"path1"}, "linkxfer.exe",
                  std::nullopt},
        LookupRow{"an empty name", {{"prog", "linkxfer"}}, {}, "", std::nullopt},
        LookupRow{"a name with a slash is a path from the current folder",
                  {{"prog", "linkxfer.exe"}, {"cur", "bin/linkxfer"}}, {}, "bin/linkxfer.exe", "cur/bin/linkxfer"},
        LookupRow{"a path is not searched for", {{"prog", "bin/linkxfer.exe"}}, {"prog"}, "bin/linkxfer.exe",
                  std::nullopt}),
    XferRowName<LookupRow>);

}  // namespace
}  // namespace flashkit::testing
