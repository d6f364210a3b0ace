#include "platform/qt/qt_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <algorithm>

#include "common/codes.h"
#include "platform/event.h"

namespace morlan {

namespace {

bool IsMenuEntry(ControlType type) {
  return type == ControlType::kMenu || type == ControlType::kMenuItem;
}

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QtWindow::QtWindow(const WindowSnapshot& snapshot) : id_(snapshot.id), queue_(snapshot.queue) {
  auto* client = new QWidget(this);
  setCentralWidget(client);
  for (const ControlSnapshot& c : snapshot.controls) {
    Control& control = controls_[c.number];
    control.shown = c;
  }
  BuildMenus(snapshot);
  for (auto& [number, control] : controls_) {
    if (!IsMenuEntry(control.shown.type)) BuildControl(control, client);
  }
  for (auto& [number, control] : controls_) ApplyControl(control, control.shown, true);
  setWindowTitle(ToQt(snapshot.caption));
  Place(snapshot);
  visible_ = snapshot.visible;
  if (visible_) show();
  focused_ = snapshot.focused_control;
  Focus(focused_);
  MakeDefault(snapshot.default_button);
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
      connect(control.action, &QAction::triggered, this,
              [this, number] { Post(EventAccepted, number); });
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
    case ControlType::kImage:
    case ControlType::kMenu:
    case ControlType::kMenuItem: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      control.widget = label;
      break;
    }
    case ControlType::kEntry:
      control.widget = new QLineEdit(parent);
      break;
    case ControlType::kButton: {
      auto* button = new QPushButton(parent);
      connect(button, &QPushButton::clicked, this, [this, number] { Post(EventAccepted, number); });
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
      connect(check, &QCheckBox::clicked, this, [this, number] { Post(EventAccepted, number); });
      control.widget = check;
      break;
    }
    case ControlType::kList: {
      auto* list = new QListWidget(parent);
      connect(list, &QListWidget::itemActivated, this,
              [this, number] { Post(EventAccepted, number); });
      control.widget = list;
      break;
    }
  }
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
  const bool rows_changed = first || next.rows != last.rows;

  if (control.action != nullptr) {
    if (text_changed) control.action->setText(ToQt(next.text));
    if (first || next.message != last.message) control.action->setStatusTip(ToQt(next.message));
    if (first || next.hidden != last.hidden) control.action->setVisible(!next.hidden);
    control.shown = next;
    return;
  }
  QWidget* widget = control.widget;
  if (widget == nullptr) return;
  if (first || next.hidden != last.hidden) widget->setHidden(next.hidden);

  switch (next.type) {
    case ControlType::kText:
    case ControlType::kImage:
    case ControlType::kMenu:
    case ControlType::kMenuItem:
      if (text_changed) static_cast<QLabel*>(widget)->setText(ToQt(next.text));
      break;
    case ControlType::kEntry:
      if (text_changed) static_cast<QLineEdit*>(widget)->setText(ToQt(next.text));
      break;
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
      if (value_changed) check->setChecked(next.value != 0);
      break;
    }
    case ControlType::kList: {
      auto* list = static_cast<QListWidget*>(widget);
      // The model sends only the page on screen, each row with one text per column.
      if (rows_changed) {
        list->clear();
        for (const std::vector<std::string>& row : next.rows) {
          QStringList cells;
          for (const std::string& cell : row) cells << ToQt(cell);
          list->addItem(cells.join(QLatin1Char('\t')));
        }
      }
      if (rows_changed || value_changed) {
        const int index = next.value - next.first_row;
        const bool selected = next.value > 0 && index >= 0 && index < list->count();
        list->setCurrentRow(selected ? index : -1);
      }
      break;
    }
  }
  control.shown = next;
}

void QtWindow::Apply(const WindowSnapshot& snapshot) {
  queue_ = snapshot.queue;
  if (windowTitle() != ToQt(snapshot.caption)) setWindowTitle(ToQt(snapshot.caption));
  for (const ControlSnapshot& c : snapshot.controls) {
    const auto it = controls_.find(c.number);
    if (it != controls_.end()) ApplyControl(it->second, c, false);
  }
  if (snapshot.visible != visible_) {
    visible_ = snapshot.visible;
    setVisible(visible_);
  }
  if (snapshot.focused_control != focused_) {
    focused_ = snapshot.focused_control;
    Focus(focused_);
  }
  if (snapshot.default_button != default_button_) MakeDefault(snapshot.default_button);
}

void QtWindow::MakeDefault(int control) {
  default_button_ = control;
  for (auto& [number, entry] : controls_) {
    auto* button = qobject_cast<QPushButton*>(entry.widget);
    if (button != nullptr) button->setDefault(number == control);
  }
}

QWidget* QtWindow::control_widget(int control) const {
  const auto it = controls_.find(control);
  return it != controls_.end() ? it->second.widget : nullptr;
}

QAction* QtWindow::control_action(int control) const {
  const auto it = controls_.find(control);
  return it != controls_.end() ? it->second.action : nullptr;
}

void QtWindow::closeEvent(QCloseEvent* event) {
  // The model's thread decides whether the window closes (its loop's default handling closes
  // it); the widget goes when the presenter hears that the model closed.
  event->ignore();
  Post(EventCloseWindow, 0);
}

void QtWindow::Place(const WindowSnapshot& snapshot) {
  if (snapshot.width > 0 && snapshot.height > 0) {
    centralWidget()->setMinimumSize(DialogX(snapshot.width), DialogY(snapshot.height));
  }
  adjustSize();
  if (snapshot.x >= 0 && snapshot.y >= 0) {
    move(DialogX(snapshot.x), DialogY(snapshot.y));
    return;
  }
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

void QtWindow::Focus(int control) {
  QWidget* widget = control_widget(control);
  if (widget != nullptr) widget->setFocus(Qt::OtherFocusReason);
}

void QtWindow::Post(int code, int control) {
  if (queue_ == nullptr) return;
  queue_->Post(Event{code, control, id_});
}

int QtWindow::DialogX(int units) const {
  return units * QFontMetrics(font()).averageCharWidth() / 4;
}

int QtWindow::DialogY(int units) const { return units * QFontMetrics(font()).height() / 8; }

}  // namespace morlan
