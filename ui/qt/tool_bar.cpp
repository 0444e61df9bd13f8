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

std::vector<QRect> ToolBar::ButtonPlaces(const QStyle& style, const QWidget* bar, QSize size, int count,
                                         int shown) {
  std::vector<QRect> places;
  if (count <= 0) return places;
  const int margin = style.pixelMetric(QStyle::PM_ToolBarItemMargin, nullptr, bar) +
                     style.pixelMetric(QStyle::PM_ToolBarFrameWidth, nullptr, bar);
  const int spacing = style.pixelMetric(QStyle::PM_ToolBarItemSpacing, nullptr, bar);
  const int share = (size.width() - 2 * margin - (count - 1) * spacing) / count;
  for (int i = 0; i < shown; ++i) {
    places.emplace_back(margin + i * (share + spacing), margin, share, size.height() - 2 * margin);
  }
  return places;
}

QStyleOptionToolBar ToolBar::PanelOption(const QStyleOption& base, const QStyle& style, const QWidget* bar) {
  QStyleOptionToolBar option;
  static_cast<QStyleOption&>(option) = base;
  option.state |= QStyle::State_Horizontal;
  option.lineWidth = style.pixelMetric(QStyle::PM_ToolBarFrameWidth, nullptr, bar);
  return option;
}

QStyleOptionToolButton ToolBar::ButtonOption(const QStyleOption& base, const QString& caption, const QFont& font) {
  QStyleOptionToolButton option;
  static_cast<QStyleOption&>(option) = base;
  option.text = caption;
  option.font = font;
  option.toolButtonStyle = Qt::ToolButtonTextOnly;
  option.subControls = QStyle::SC_ToolButton;
  option.state |= QStyle::State_AutoRaise | QStyle::State_Raised;
  return option;
}

void ToolBar::PlaceButtons() {
  int shown = 0;
  for (QToolButton* button : buttons_) shown += button->isHidden() ? 0 : 1;
  const std::vector<QRect> places = ButtonPlaces(*style(), this, size(), count(), shown);
  auto place = places.begin();
  for (QToolButton* button : buttons_) {
    if (!button->isHidden()) button->setGeometry(*place++);
  }
}

void ToolBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceButtons();
}

void ToolBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOption base;
  base.initFrom(this);
  const QStyleOptionToolBar option = PanelOption(base, *style(), this);
  style()->drawControl(QStyle::CE_ToolBar, &option, &painter, this);
}

}  // namespace kestrin::ui
