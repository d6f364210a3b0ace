#include "platform/qt/qt_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcutEvent>
#include <QStatusBar>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "platform/icon_names.h"
#include "platform/key_codes.h"
#include "platform/qt/qt_key_code.h"
#include "platform/qt/qt_list_view.h"

namespace morlan {

namespace {

bool IsMenuEntry(ControlType type) {
  return type == ControlType::kMenu || type == ControlType::kMenuItem;
}

bool IsClickable(ControlType type) {
  return type == ControlType::kButton || type == ControlType::kCheck;
}

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

// The icon an image shows for `name` (icon_names.h): a named icon is the style's standard one, an
// image file is shown as it is, anything else (a number among them) is a generic icon.
QIcon IconFor(const std::string& name, const QStyle& style) {
  if (name == kIconExclamation) return style.standardIcon(QStyle::SP_MessageBoxWarning);
  if (name == kIconQuestion) return style.standardIcon(QStyle::SP_MessageBoxQuestion);
  if (name == kIconInformation) return style.standardIcon(QStyle::SP_MessageBoxInformation);
  if (name == kIconHand) return style.standardIcon(QStyle::SP_MessageBoxCritical);
  if (!IsIconNumber(name) && name != kIconApplication) {
    const QPixmap image(ToQt(name));
    if (!image.isNull()) return QIcon(image);
  }
  const QIcon application = QApplication::windowIcon();
  if (!application.isNull()) return application;
  return style.standardIcon(QStyle::SP_DesktopIcon);
}

}  // namespace

QtWindow::QtWindow(const WindowSnapshot& snapshot, QMdiArea* workspace)
    : id_(snapshot.id), x_(snapshot.x), y_(snapshot.y), input_(snapshot) {
  QWidget* client = nullptr;
  QWidget* controls_parent = nullptr;
  if (snapshot.is_frame) {
    workspace_ = new QMdiArea(this);
    client = workspace_;
    controls_parent = workspace_->viewport();
  } else {
    client = new QWidget(this);
    client->setFocusPolicy(Qt::NoFocus);
    controls_parent = client;
  }
  setCentralWidget(client);
  // Keys no control takes, and the client area's size.
  client->installEventFilter(this);
  installEventFilter(this);
  for (const ControlSnapshot& c : snapshot.controls) {
    Control& control = controls_[c.number];
    control.shown = c;
  }
  BuildMenus(snapshot);
  for (auto& [number, control] : controls_) {
    if (!IsMenuEntry(control.shown.type)) BuildControl(control, controls_parent);
  }
  for (auto& [number, control] : controls_) ApplyControl(control, control.shown, true);
  setWindowTitle(ToQt(snapshot.caption));
  if (workspace != nullptr) {
    subwindow_ = workspace->addSubWindow(this);
    // The model decides when the window goes; its widget then takes the sub-window with it.
    subwindow_->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(subwindow_, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates before, Qt::WindowStates now) {
              const bool active = now.testFlag(Qt::WindowActive);
              if (!closing_ && before.testFlag(Qt::WindowActive) != active) Activated(active);
            });
  }
  Place(snapshot);
  visible_ = snapshot.visible;
  if (visible_ || subwindow_ != nullptr) ShowWindow(visible_);
  // A new child comes up as the one the person works in, as a new window would.
  if (visible_ && subwindow_ != nullptr) workspace->setActiveSubWindow(subwindow_);
  MakeDefault(snapshot.default_button);
  FollowFocus();
}

QtWindow::~QtWindow() {
  // The controls go while the translator they report to still exists.
  closing_ = true;
  // Children still in a frame's workspace are not the frame's to destroy: they leave it first
  // (the presenter normally takes them out before).
  if (workspace_ != nullptr) {
    for (QMdiSubWindow* sub : workspace_->subWindowList()) sub->setWidget(nullptr);
  }
  delete takeCentralWidget();
  if (subwindow_ != nullptr) {
    QMdiSubWindow* sub = subwindow_;
    subwindow_ = nullptr;
    sub->disconnect(this);
    sub->setWidget(nullptr);
    delete sub;
  }
}

void QtWindow::LeaveWorkspace() {
  if (subwindow_ == nullptr) return;
  QMdiSubWindow* sub = subwindow_;
  subwindow_ = nullptr;
  sub->disconnect(this);
  sub->setWidget(nullptr);
  delete sub;
  setWindowFlags(Qt::Window);
  adjustSize();
  PlaceOnScreen();
  if (visible_) show();
  FollowFocus();
}

void QtWindow::BuildMenus(const WindowSnapshot& snapshot) {
  // Definition order, so a menu exists before the entries that name it as their parent; an
  // entry whose menu is unknown goes on the bar rather than being lost.
  bool any_tip = false;
  for (const ControlSnapshot& c : snapshot.controls) {
    if (!IsMenuEntry(c.type)) continue;
    Control& control = controls_[c.number];
    QMenu* parent = nullptr;
    if (c.parent != 0) {
      const auto it = controls_.find(c.parent);
      if (it != controls_.end()) parent = it->second.menu;
    }
    const int number = c.number;
    if (c.type == ControlType::kMenu) {
      control.menu =
          parent != nullptr ? parent->addMenu(ToQt(c.text)) : menuBar()->addMenu(ToQt(c.text));
      control.action = control.menu->menuAction();
    } else {
      control.action =
          parent != nullptr ? parent->addAction(ToQt(c.text)) : menuBar()->addAction(ToQt(c.text));
      connect(control.action, &QAction::triggered, this, [this, number] {
        if (closing_) return;
        input_.Click(number, kKeyMouseLeft);
        FollowInput();
      });
    }
    any_tip = any_tip || !c.message.empty();
  }
  // Status tips need a status bar to show in.
  if (any_tip) statusBar();
}

void QtWindow::BuildControl(Control& control, QWidget* parent) {
  const ControlSnapshot& c = control.shown;
  const int number = c.number;
  switch (c.type) {
    case ControlType::kText:
    case ControlType::kMenu:
    case ControlType::kMenuItem: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      control.widget = label;
      break;
    }
    case ControlType::kImage: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignCenter);
      control.widget = label;
      break;
    }
    case ControlType::kEntry: {
      auto* entry = new QLineEdit(parent);
      // Only the person's typing: the program's setText emits no textEdited.
      connect(entry, &QLineEdit::textEdited, this, [this, number](const QString& text) {
        if (closing_) return;
        input_.Type(number, text.toStdString());
        FollowInput();
      });
      control.widget = entry;
      break;
    }
    case ControlType::kButton: {
      auto* button = new QPushButton(parent);
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, this, [this, number] {
        if (closing_) return;
        input_.Click(number, kKeyMouseLeft);
        FollowInput();
      });
      control.widget = button;
      break;
    }
    case ControlType::kThermometer: {
      // A plain bar: programs show their own percentage text beside it.
      auto* bar = new QProgressBar(parent);
      bar->setTextVisible(false);
      control.widget = bar;
      break;
    }
    case ControlType::kCheck: {
      auto* check = new QCheckBox(parent);
      connect(check, &QCheckBox::clicked, this, [this, number] {
        if (closing_) return;
        input_.Click(number, kKeyMouseLeft);
        FollowInput();
      });
      control.widget = check;
      break;
    }
    case ControlType::kList: {
      QtListView::Callbacks callbacks;
      callbacks.picked = [this, number](int row) {
        if (closing_) return;
        input_.PickRow(number, row);
        FollowInput();
      };
      callbacks.activated = [this, number](int row) {
        if (closing_) return;
        input_.ActivateRow(number, row);
        FollowInput();
      };
      callbacks.paged = [this, number](int first_row, int rows) {
        if (!closing_) input_.Scroll(number, first_row, rows);
      };
      control.list = new QtListView(parent, std::move(callbacks));
      control.widget = control.list;
      // Mouse presses land on the rows' viewport.
      control.list->viewport()->installEventFilter(this);
      owners_[control.list->viewport()] = number;
      break;
    }
  }
  control.widget->installEventFilter(this);
  owners_[control.widget] = number;
  if (c.width > 0 && c.height > 0) {
    control.widget->setGeometry(DialogX(c.x), DialogY(c.y), DialogX(c.width), DialogY(c.height));
    return;
  }
  control.widget->move(DialogX(c.x), DialogY(c.y));
  control.widget->resize(control.widget->sizeHint());
}

void QtWindow::ApplyControl(Control& control, const ControlSnapshot& next, bool first) {
  const ControlSnapshot& last = control.shown;
  const bool text_changed = first || next.text != last.text;
  const bool value_changed = first || next.value != last.value ||
                             next.range_low != last.range_low || next.range_high != last.range_high;

  if (control.action != nullptr) {
    if (text_changed) control.action->setText(ToQt(next.text));
    if (first || next.message != last.message) control.action->setStatusTip(ToQt(next.message));
    if (first || next.hidden != last.hidden) control.action->setVisible(!next.hidden);
    if (first || next.disabled != last.disabled) control.action->setEnabled(!next.disabled);
    control.shown = next;
    return;
  }
  QWidget* widget = control.widget;
  if (widget == nullptr) return;
  if (first || next.hidden != last.hidden) widget->setHidden(next.hidden);
  if (first || next.disabled != last.disabled) widget->setEnabled(!next.disabled);

  switch (next.type) {
    case ControlType::kText:
    case ControlType::kMenu:
    case ControlType::kMenuItem:
      if (text_changed) static_cast<QLabel*>(widget)->setText(ToQt(next.text));
      break;
    case ControlType::kImage:
      if (first || next.icon != last.icon || (next.icon.empty() && text_changed)) {
        ShowImage(control, next);
      }
      break;
    case ControlType::kEntry: {
      // What the person sees: their typing until the model changes or refuses the text.
      auto* entry = static_cast<QLineEdit*>(widget);
      const std::string_view text = input_.text(next.number);
      const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
      if (entry->text() != shown) entry->setText(shown);
      break;
    }
    case ControlType::kButton:
      if (text_changed) static_cast<QPushButton*>(widget)->setText(ToQt(next.text));
      break;
    case ControlType::kThermometer:
      if (value_changed) {
        auto* bar = static_cast<QProgressBar*>(widget);
        const int low = std::min(next.range_low, next.range_high);
        const int high = std::max(next.range_low, next.range_high);
        bar->setRange(low, high);
        // The bar ignores a value outside its range; a bound byte may well exceed it.
        bar->setValue(std::clamp(next.value, low, high));
      }
      break;
    case ControlType::kCheck: {
      auto* check = static_cast<QCheckBox*>(widget);
      if (text_changed) check->setText(ToQt(next.text));
      const bool checked = input_.value(next.number) != 0;
      if (check->isChecked() != checked) check->setChecked(checked);
      break;
    }
    case ControlType::kList:
      ShowList(control, next);
      break;
  }
  control.shown = next;
}

void QtWindow::ShowList(Control& control, const ControlSnapshot& next) {
  std::vector<int> widths;
  widths.reserve(next.columns.size());
  for (const ListColumn& column : next.columns) widths.push_back(DialogX(column.width));
  const int number = next.number;
  control.list->Show(next, input_.value(number), input_.first_row(number), widths);
}

void QtWindow::ShowImage(Control& control, const ControlSnapshot& next) {
  auto* label = static_cast<QLabel*>(control.widget);
  if (next.icon.empty()) {
    label->clear();
    label->setText(ToQt(next.text));
    return;
  }
  const int standard = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  int side = standard;
  if (label->width() > 0 && label->height() > 0) {
    side = std::min({standard, label->width(), label->height()});
  }
  label->setPixmap(IconFor(next.icon, *style()).pixmap(QSize(side, side)));
}

void QtWindow::Apply(const WindowSnapshot& snapshot) {
  input_.Apply(snapshot);
  if (windowTitle() != ToQt(snapshot.caption)) setWindowTitle(ToQt(snapshot.caption));
  for (const ControlSnapshot& c : snapshot.controls) {
    const auto it = controls_.find(c.number);
    if (it != controls_.end()) ApplyControl(it->second, c, false);
  }
  if (snapshot.visible != visible_) {
    visible_ = snapshot.visible;
    ShowWindow(visible_);
  }
  if (snapshot.default_button != default_button_) MakeDefault(snapshot.default_button);
  FollowFocus();
}

void QtWindow::MakeDefault(int control) {
  default_button_ = control;
  for (auto& [number, entry] : controls_) {
    auto* button = qobject_cast<QPushButton*>(entry.widget);
    if (button != nullptr) button->setDefault(number == control);
  }
}

QWidget* QtWindow::control_widget(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? c->widget : nullptr;
}

QAction* QtWindow::control_action(int control) const {
  const Control* c = Find(control);
  return c != nullptr ? c->action : nullptr;
}

QMdiSubWindow* QtWindow::subwindow() const { return subwindow_; }

const QtWindow::Control* QtWindow::Find(int control) const {
  const auto it = controls_.find(control);
  return it != controls_.end() ? &it->second : nullptr;
}

int QtWindow::OwnerOf(const QObject* watched) const {
  const auto it = owners_.find(watched);
  return it != owners_.end() ? it->second : 0;
}

void QtWindow::FollowInput() {
  // A check clicked by key or mnemonic was not toggled by Qt; one clicked with the mouse was,
  // and agrees.
  for (auto& [number, control] : controls_) {
    if (control.shown.type != ControlType::kCheck || control.widget == nullptr) continue;
    auto* check = static_cast<QCheckBox*>(control.widget);
    const bool checked = input_.value(number) != 0;
    if (check->isChecked() != checked) check->setChecked(checked);
  }
  FollowFocus();
}

void QtWindow::FollowFocus() {
  // The person is in the menus: the focus comes back when they leave them.
  if (QApplication::activePopupWidget() != nullptr) return;
  if (menuWidget() != nullptr && focusWidget() == menuWidget()) return;
  // A child moves the focus only while it is the current one; it follows when it becomes so.
  if (subwindow_ != nullptr && subwindow_->mdiArea() != nullptr) {
    const QMdiSubWindow* current = subwindow_->mdiArea()->currentSubWindow();
    if (current != nullptr && current != subwindow_) return;
  }
  QWidget* target = control_widget(input_.focused());
  if (target == nullptr || target->isHidden()) {
    // A frame with no focused control of its own leaves the focus with its children.
    if (workspace_ != nullptr) return;
    target = centralWidget();
  }
  if (focusWidget() != target) target->setFocus(Qt::OtherFocusReason);
}

bool QtWindow::TakeKey(int key) {
  const Control* focused = Find(input_.focused());
  // Space clicks a focused button or check (unless the control wants it as an alert key).
  if (key == kKeySpace && focused != nullptr && IsClickable(focused->shown.type) &&
      std::find(focused->shown.alert_keys.begin(), focused->shown.alert_keys.end(), key) ==
          focused->shown.alert_keys.end()) {
    input_.Click(input_.focused(), key);
    FollowInput();
    return true;
  }
  if (!input_.PressKey(key)) return false;
  FollowInput();
  return true;
}

bool QtWindow::eventFilter(QObject* watched, QEvent* event) {
  if (closing_) return false;
  switch (event->type()) {
    case QEvent::KeyPress: {
      // A key a child in the workspace left alone is not the frame's.
      if (workspace_ != nullptr && workspace_->isAncestorOf(QApplication::focusWidget())) {
        return false;
      }
      const auto* key_event = static_cast<const QKeyEvent*>(event);
      const int key = KeyCodeOf(key_event->key(), key_event->modifiers());
      return key != kKeyNone && TakeKey(key);
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      // The focus moves before the widget reacts to the press, as a click's events come.
      const int control = OwnerOf(watched);
      if (control == 0) return false;
      const auto* mouse = static_cast<const QMouseEvent*>(event);
      const int button = mouse->button() == Qt::RightButton ? kKeyMouseRight : kKeyMouseLeft;
      if (input_.Focus(control, button)) FollowFocus();
      return false;
    }
    case QEvent::Shortcut: {
      // A button's or check's mnemonic clicks it, with the key's code.
      const int control = OwnerOf(watched);
      const Control* c = Find(control);
      if (c == nullptr || !IsClickable(c->shown.type)) return false;
      const QKeySequence sequence = static_cast<const QShortcutEvent*>(event)->key();
      const QKeyCombination combination = sequence[0];
      input_.Click(control, KeyCodeOf(combination.key(), combination.keyboardModifiers()));
      FollowInput();
      return true;
    }
    case QEvent::FocusIn: {
      const int control = OwnerOf(watched);
      if (control == 0 || control == input_.focused()) return false;
      if (static_cast<const QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) {
        input_.Focus(control, kKeyMouseLeft);
        return false;
      }
      // Qt moved the focus by itself (a control hidden, the window activated): it goes back
      // where the person and the model have it, once this focus change is over.
      QMetaObject::invokeMethod(
          this, [this] { FollowFocus(); }, Qt::QueuedConnection);
      return false;
    }
    case QEvent::Resize:
      if (watched == centralWidget() && visible_ && isVisible()) {
        const QSize size = static_cast<const QResizeEvent*>(event)->size();
        input_.Resize(UnitsX(size.width()), UnitsY(size.height()));
      }
      return false;
    default:
      return false;
  }
}

void QtWindow::closeEvent(QCloseEvent* event) {
  // The model's thread decides whether the window closes (its loop's default handling closes
  // it); the widget goes when the presenter hears that the model closed.
  event->ignore();
  if (!closing_) input_.CloseBox();
}

void QtWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::ActivationChange || closing_) return;
  // A child's activation is its sub-window's (the frame's comes to every widget in it).
  if (subwindow_ != nullptr) return;
  Activated(isActiveWindow());
}

void QtWindow::Activated(bool active) {
  if (!active) {
    if (activated_) input_.Activate(false);
    return;
  }
  // Coming up active is the window opening, which the model knows; later it is the person
  // coming back.
  if (activated_) input_.Activate(true);
  activated_ = true;
  if (subwindow_ != nullptr) FollowFocus();
}

void QtWindow::Place(const WindowSnapshot& snapshot) {
  if (snapshot.width > 0 && snapshot.height > 0) {
    const QSize size(DialogX(snapshot.width), DialogY(snapshot.height));
    centralWidget()->setMinimumSize(size);
    // A workspace would ask for much more room than the frame's size.
    if (workspace_ != nullptr) centralWidget()->setMaximumSize(size);
  }
  adjustSize();
  // A frame opens at its size, and the person may make it smaller or larger.
  if (workspace_ != nullptr) {
    centralWidget()->setMinimumSize(0, 0);
    centralWidget()->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
  if (subwindow_ != nullptr) return PlaceInWorkspace();
  PlaceOnScreen();
}

void QtWindow::PlaceOnScreen() {
  if (x_ >= 0 && y_ >= 0) return move(DialogX(x_), DialogY(y_));
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

void QtWindow::PlaceInWorkspace() {
  subwindow_->adjustSize();
  if (x_ >= 0 && y_ >= 0) return subwindow_->move(DialogX(x_), DialogY(y_));
  const QMdiArea* workspace = subwindow_->mdiArea();
  if (workspace == nullptr) return;
  QRect frame = subwindow_->geometry();
  frame.moveCenter(workspace->viewport()->rect().center());
  // A child larger than the workspace keeps its caption in reach.
  subwindow_->move(std::max(frame.left(), 0), std::max(frame.top(), 0));
}

void QtWindow::ShowWindow(bool shown) {
  if (subwindow_ == nullptr) return setVisible(shown);
  // Inside its sub-window the window itself always shows; the sub-window shows or hides it.
  setVisible(true);
  subwindow_->setVisible(shown);
}

// Rounded both ways, so a size in dialog units comes back as the same units.
int QtWindow::DialogX(int units) const {
  return static_cast<int>(std::lround(units * QFontMetrics(font()).averageCharWidth() / 4.0));
}

int QtWindow::DialogY(int units) const {
  return static_cast<int>(std::lround(units * QFontMetrics(font()).height() / 8.0));
}

int QtWindow::UnitsX(int pixels) const {
  const int width = std::max(QFontMetrics(font()).averageCharWidth(), 1);
  return static_cast<int>(std::lround(pixels * 4.0 / width));
}

int QtWindow::UnitsY(int pixels) const {
  const int height = std::max(QFontMetrics(font()).height(), 1);
  return static_cast<int>(std::lround(pixels * 8.0 / height));
}

}  // namespace morlan
