#include "gui/console_tool.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QWidget>

#include "gui/console_window.h"

namespace flashkit {

ConsoleWindow* RunConsoleTool(const std::string& command_line, const ProgramSearch& search, MessageBoxes& boxes) {
  std::vector<std::string> words = SplitCommandLine(command_line);
  std::optional<std::string> program;
  if (!words.empty()) program = ResolveProgram(words.front(), search);
  if (!program) {
    boxes.Show("Process create fail!");
    return nullptr;
  }
  QStringList arguments;
  for (size_t i = 1; i < words.size(); ++i) arguments << QString::fromStdString(words[i]);

  // The child inherits the current folder, where the dialog's file choice
  // left it, so the bare file name on the line finds the file.
  auto* window = new ConsoleWindow(QString::fromStdString(command_line), QString::fromStdString(words.front()));
  window->setAttribute(Qt::WA_DeleteOnClose);
  if (!window->Start(QString::fromStdString(*program), arguments)) {
    delete window;
    boxes.Show("Process create fail!");
    return nullptr;
  }
  window->show();
  return window;
}

ProgramSearch CurrentProgramSearch() {
  return ProgramSearch{QCoreApplication::applicationDirPath().toStdString(), QDir::currentPath().toStdString(),
                       qEnvironmentVariable("PATH").toStdString()};
}

QList<ConsoleWindow*> OpenConsoleWindows() {
  QList<ConsoleWindow*> open;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* window = qobject_cast<ConsoleWindow*>(widget);
    if (window && window->isVisible()) open << window;
  }
  return open;
}

}  // namespace flashkit
