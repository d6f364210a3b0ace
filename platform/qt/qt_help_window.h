// The program's help: its own text (a Qt resource built into the program, no help file beside
// it) in one window, with a search field above the text. Not modal: the person may keep it open
// while working in the frame.
//
// Threading: GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QTextBrowser;

namespace morlan {

class QtHelpWindow final : public QDialog {
 public:
  // Over `parent` (the frame) when there is one.
  explicit QtHelpWindow(QWidget* parent = nullptr);

  // Each brings the window up, to the front and active: at the top of the text; with the
  // search field focused and its text selected for typing over; at the part on using this help.
  void ShowContents();
  void ShowSearch();
  void ShowHowToUse();

  // Finds `text`, ignoring case, after the current selection, going on from the top when the
  // end is reached; selects and shows it and answers true. When it is not in the help (or is
  // empty), the selection stays, the status line says so and the answer is false.
  bool Find(const QString& text);

  QTextBrowser* browser() const { return browser_; }
  QLineEdit* search_field() const { return search_; }
  // The line under the search field: empty, or why the last search found nothing.
  QLabel* search_status() const { return status_; }

 private:
  void BringUp();

  QTextBrowser* browser_ = nullptr;
  QLineEdit* search_ = nullptr;
  QPushButton* find_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace morlan
