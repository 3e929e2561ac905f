#pragma once

#include <QList>
#include <string>

#include "gui/console_launch.h"
#include "gui/links/message_boxes.h"

namespace flashkit {

class ConsoleWindow;

// Starts the program of `command_line` in a console window of its own and
// returns the window, which owns the child and is deleted when it closes;
// each call makes one more window and child. When the program is not found or
// does not start, shows "Process create fail!" and returns null.
ConsoleWindow* RunConsoleTool(const std::string& command_line, const ProgramSearch& search, MessageBoxes& boxes);

// Where the running program looks for a console tool: its own folder, the
// current folder, PATH.
ProgramSearch CurrentProgramSearch();

// The console windows the user has not closed yet. The application keeps
// running while there are any: a transfer never ends because the dialog did.
QList<ConsoleWindow*> OpenConsoleWindows();

}  // namespace flashkit
