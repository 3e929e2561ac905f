#include "gui/console_window.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

namespace flashkit {

ConsoleWindow::ConsoleWindow(const QString& title, const QString& shown_name, QWidget* parent)
    : QWidget(parent, Qt::Window), shown_name_(shown_name), view_(new QPlainTextEdit(this)) {
  setWindowTitle(title);
  view_->setReadOnly(true);
  // A console keeps no undo history: it would grow with every line.
  view_->setUndoRedoEnabled(false);
  view_->setMaximumBlockCount(kMaxLines);
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  resize(640, 400);

  process_.setProcessChannelMode(QProcess::MergedChannels);
  // Nobody types into this console; a child that reads sees the end at once.
  process_.setStandardInputFile(QProcess::nullDevice());
  connect(&process_, &QProcess::readyReadStandardOutput, this, &ConsoleWindow::OnOutput);
  connect(&process_, &QProcess::finished, this, &ConsoleWindow::OnFinished);
  connect(&process_, &QProcess::errorOccurred, this, &ConsoleWindow::OnError);
  kill_timer_.setSingleShot(true);
  kill_timer_.setInterval(kStopGraceMs);
  connect(&kill_timer_, &QTimer::timeout, &process_, &QProcess::kill);
}

ConsoleWindow::~ConsoleWindow() {
  // The process must not call back into a window that is half gone.
  disconnect(&process_, nullptr, this, nullptr);
  if (Running()) {
    process_.kill();
    process_.waitForFinished(kStopGraceMs);
  }
}

bool ConsoleWindow::Start(const QString& program, const QStringList& arguments) {
  process_.start(program, arguments, QIODevice::ReadOnly);
  return process_.waitForStarted(kStartWaitMs);
}

QString ConsoleWindow::Text() const { return view_->toPlainText(); }

bool ConsoleWindow::Running() const { return process_.state() != QProcess::NotRunning; }

qint64 ConsoleWindow::ChildId() const { return process_.processId(); }

void ConsoleWindow::closeEvent(QCloseEvent* event) {
  if (!Running()) {
    event->accept();
    return;
  }
  event->ignore();
  if (closing_) return;
  closing_ = true;
  process_.terminate();
  kill_timer_.start();
}

void ConsoleWindow::OnOutput() { Show(decoder_.decode(process_.readAllStandardOutput())); }

void ConsoleWindow::OnFinished(int exit_code, QProcess::ExitStatus status) {
  OnOutput();
  kill_timer_.stop();
  // After a crash the code is the number of the signal that ended the child.
  end_ = ConsoleEnd{status != QProcess::NormalExit, exit_code};
  ShowEnding(status == QProcess::NormalExit ? QString("ended with exit status %1").arg(exit_code)
                                            : QString("was killed by signal %1").arg(exit_code));
  if (closing_) close();
}

void ConsoleWindow::OnError(QProcess::ProcessError error) {
  // Every other error is followed by finished(), which tells the end.
  if (error == QProcess::FailedToStart) ShowEnding("could not be started: " + process_.errorString());
}

void ConsoleWindow::Show(const QString& text) {
  QScrollBar* bar = view_->verticalScrollBar();
  const bool follow = bar->value() == bar->maximum();
  QTextCursor cursor(view_->document());
  cursor.movePosition(QTextCursor::End);
  QString run;
  auto flush = [&] {
    cursor.insertText(run);
    run.clear();
  };
  for (QChar c : text) {
    if (c == u'\n') {
      run += c;
      line_chars_ = 0;
      return_pending_ = false;
      continue;
    }
    if (c == u'\r') {
      return_pending_ = true;
      continue;
    }
    if (return_pending_) {
      flush();
      cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
      cursor.removeSelectedText();
      line_chars_ = 0;
      return_pending_ = false;
    }
    if (line_chars_ == kMaxLineChars) {
      run += u'\n';
      line_chars_ = 0;
    }
    run += c;
    ++line_chars_;
  }
  flush();
  if (follow) bar->setValue(bar->maximum());
}

void ConsoleWindow::ShowEnding(const QString& how) {
  if (ended_) return;
  ended_ = true;
  // The last line the child left (its final progress line too) stays.
  QString text = "[" + shown_name_ + " " + how + "]";
  Show(line_chars_ > 0 ? "\n" + text : text);
  emit Ended();
}

}  // namespace flashkit
