#include "platform/qt/qt_help_window.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

// The help text is built into the library; a static library needs its resources registered
// by name, which the macro does only outside a namespace.
static void RegisterHelpText() { Q_INIT_RESOURCE(morlan_help); }

namespace morlan {

namespace {

constexpr const char* kHelpText = "qrc:/morlan/help.html";
constexpr const char* kUsingHelp = "using-help";

}  // namespace

QtHelpWindow::QtHelpWindow(QWidget* parent) : QDialog(parent) {
  RegisterHelpText();
  setWindowTitle(tr("morlan Help"));
  setModal(false);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);

  auto* label = new QLabel(tr("&Search for:"), this);
  search_ = new QLineEdit(this);
  search_->setClearButtonEnabled(true);
  label->setBuddy(search_);
  find_ = new QPushButton(tr("Find &Next"), this);
  // Enter in the search field presses it; nothing else in the window is pressed by Enter.
  find_->setDefault(true);
  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);

  browser_ = new QTextBrowser(this);
  browser_->setOpenExternalLinks(false);
  browser_->setSource(QUrl(QString::fromLatin1(kHelpText)));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  for (QAbstractButton* button : buttons->buttons()) {
    if (auto* push = qobject_cast<QPushButton*>(button)) push->setAutoDefault(false);
  }
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(find_, &QPushButton::clicked, this, [this] { Find(search_->text()); });
  connect(search_, &QLineEdit::textEdited, status_, &QLabel::clear);

  auto* search_row = new QHBoxLayout;
  search_row->addWidget(label);
  search_row->addWidget(search_, 1);
  search_row->addWidget(find_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(search_row);
  layout->addWidget(status_);
  layout->addWidget(browser_, 1);
  layout->addWidget(buttons);
  resize(560, 420);
}

void QtHelpWindow::BringUp() {
  status_->clear();
  show();
  raise();
  activateWindow();
}

void QtHelpWindow::ShowContents() {
  BringUp();
  browser_->moveCursor(QTextCursor::Start);
  browser_->verticalScrollBar()->setValue(0);
  browser_->setFocus(Qt::OtherFocusReason);
}

void QtHelpWindow::ShowSearch() {
  BringUp();
  search_->setFocus(Qt::OtherFocusReason);
  search_->selectAll();
}

void QtHelpWindow::ShowHowToUse() {
  BringUp();
  browser_->scrollToAnchor(QString::fromLatin1(kUsingHelp));
  browser_->setFocus(Qt::OtherFocusReason);
}

bool QtHelpWindow::Find(const QString& text) {
  status_->clear();
  if (text.isEmpty()) return false;
  if (browser_->find(text)) return true;
  // Past the last place: go on from the top, keeping the selection if it is nowhere.
  const QTextCursor before = browser_->textCursor();
  browser_->moveCursor(QTextCursor::Start);
  if (browser_->find(text)) return true;
  browser_->setTextCursor(before);
  status_->setText(tr("\"%1\" is not in the help.").arg(text));
  return false;
}

}  // namespace morlan
