#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <QTest>

#include "gui/console_launch.h"
#include "gui/console_tool.h"
#include "gui/console_window.h"

namespace flashkit::testing {

// A program folder with a stand-in "linkxfer.exe" (a shell script) and a
// current folder holding the file to send; the current folder is the test's
// working directory while the object lives.
class ConsoleTestFolder {
 public:
  ConsoleTestFolder()
      : previous_(std::filesystem::current_path()),
        root_(std::filesystem::temp_directory_path() /
              ("flashkit-console-" + std::to_string(std::random_device{}()))) {
    std::filesystem::create_directories(root_ / "prog");
    std::filesystem::create_directories(root_ / "cur");
    std::ofstream(root_ / "cur" / "fw.bin") << "image";
    std::filesystem::current_path(root_ / "cur");
  }
  ~ConsoleTestFolder() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(root_);
  }

  // Writes the program with `body` under the /bin/sh line (or, raw, as it is).
  void WriteTool(const std::string& body, bool raw = false, const std::string& name = "linkxfer.exe") {
    std::filesystem::path path = root_ / "prog" / name;
    std::ofstream(path) << (raw ? body : "#!/bin/sh\n" + body + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  }

  ProgramSearch Search() const { return {(root_ / "prog").string(), (root_ / "cur").string(), ""}; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path root_;
};

// Closes every console a test left open; false if one is still open after the
// children's grace time.
inline bool CloseConsoles() {
  for (ConsoleWindow* window : OpenConsoleWindows()) window->close();
  return QTest::qWaitFor([] { return OpenConsoleWindows().isEmpty(); }, ConsoleWindow::kStopGraceMs + 3000);
}

}  // namespace flashkit::testing
