#include "ui/qt/tool_bar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionToolBar>
#include <QToolButton>

#include "ui/qt/window_registry.h"

namespace kestrin::ui {

ToolBar::ToolBar(const std::vector<QString>& captions, std::function<void(int index)> clicked, QWidget* parent)
    : QWidget(parent) {
  for (const QString& caption : captions) {
    const int index = count();
    auto* button = new QToolButton(this);
    button->setText(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCheckable(true);  // the checked look is the pressed look
    connect(button, &QToolButton::clicked, this, [this, index, clicked] {
      // A click toggles a checkable button by itself; only the state operations change the look.
      Show(index);
      clicked(index);
    });
    buttons_.push_back(button);
    states_.push_back(kStateEnabled);
  }
}

QToolButton* ToolBar::button(int index) const {
  return index >= 0 && index < count() ? buttons_[static_cast<std::size_t>(index)] : nullptr;
}

int ToolBar::state(int index) const {
  return index >= 0 && index < count() ? states_[static_cast<std::size_t>(index)] : -1;
}

void ToolBar::setState(int index, int state) {
  if (index < 0 || index >= count()) return;
  states_[static_cast<std::size_t>(index)] = state;
  Show(index);
}

void ToolBar::Show(int index) {
  const int state = states_[static_cast<std::size_t>(index)];
  QToolButton* button = buttons_[static_cast<std::size_t>(index)];
  button->setChecked((state & (kStateChecked | kStatePressed)) != 0);
  const bool hidden = (state & kStateHidden) != 0;
  button->setEnabled((state & kStateEnabled) && !(state & kStateIndeterminate) && !hidden);
  if (button->isHidden() != hidden) {
    button->setHidden(hidden);
    PlaceButtons();
  }
}

// Every button as wide as an equal share of the bar, the visible ones side by side from the left,
// with the margins and spacing the style gives a tool bar.
void ToolBar::PlaceButtons() {
  if (buttons_.empty()) return;
  const int margin = style()->pixelMetric(QStyle::PM_ToolBarItemMargin, nullptr, this) +
                     style()->pixelMetric(QStyle::PM_ToolBarFrameWidth, nullptr, this);
  const int spacing = style()->pixelMetric(QStyle::PM_ToolBarItemSpacing, nullptr, this);
  const int share = (width() - 2 * margin - (count() - 1) * spacing) / count();
  int left = margin;
  for (QToolButton* button : buttons_) {
    if (button->isHidden()) continue;
    button->setGeometry(left, margin, share, height() - 2 * margin);
    left += share + spacing;
  }
}

void ToolBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceButtons();
}

void ToolBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionToolBar option;
  option.initFrom(this);
  option.state |= QStyle::State_Horizontal;
  option.lineWidth = style()->pixelMetric(QStyle::PM_ToolBarFrameWidth, nullptr, this);
  style()->drawControl(QStyle::CE_ToolBar, &option, &painter, this);
}

}  // namespace kestrin::ui
