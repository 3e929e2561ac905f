#pragma once

#include <QProcess>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "gui/console_outcome.h"

class QCloseEvent;
class QPlainTextEdit;

namespace flashkit {

// A console of its own for one child program: shows what the child writes as
// it comes, stays open after the child has ended and says how it ended.
//
// Closing the window while the child runs stops the child first (SIGTERM, and
// SIGKILL if it is still there after kStopGraceMs), the way closing a console
// window ends its program: nothing is left behind holding a port. The window
// closes once the child is gone.
class ConsoleWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxLines = 10000;
  static constexpr int kMaxLineChars = 4096;  // longer lines wrap
  static constexpr int kStopGraceMs = 2000;
  static constexpr int kStartWaitMs = 5000;

  // `title` is the command line; `shown_name` names the child in the last line.
  ConsoleWindow(const QString& title, const QString& shown_name, QWidget* parent = nullptr);
  ~ConsoleWindow() override;

  // Runs `program` with `arguments` (no shell) in the current folder. Waits at
  // most kStartWaitMs to learn whether it started; false when it did not.
  bool Start(const QString& program, const QStringList& arguments);

  QString Text() const;
  bool Running() const;
  qint64 ChildId() const;
  // Whether the child has ended, and how; meaningful once Ended is emitted.
  bool HasEnded() const { return ended_; }
  ConsoleEnd End() const { return end_; }

 signals:
  void Ended();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnOutput();
  void OnFinished(int exit_code, QProcess::ExitStatus status);
  void OnError(QProcess::ProcessError error);
  void Show(const QString& text);
  void ShowEnding(const QString& how);

  QString shown_name_;
  QPlainTextEdit* view_;
  QProcess process_;
  QStringDecoder decoder_{QStringDecoder::Utf8};
  QTimer kill_timer_;
  bool return_pending_ = false;  // a carriage return came: the next text rewrites the line
  int line_chars_ = 0;
  bool closing_ = false;
  bool ended_ = false;
  ConsoleEnd end_;
};

}  // namespace flashkit
