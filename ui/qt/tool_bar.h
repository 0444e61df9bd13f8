// A tool bar of text buttons, drawn as one: a row of flat tool buttons on the style's tool-bar
// panel. Lighter than a QToolBar, whose overflow button loads every image plug-in to draw its
// arrow before the window's first paint.
#pragma once

#include <functional>
#include <vector>

#include <QRect>
#include <QString>
#include <QStyleOptionToolBar>
#include <QStyleOptionToolButton>
#include <QWidget>

class QToolButton;

namespace kestrin::ui {

class ToolBar final : public QWidget {
  Q_OBJECT

 public:
  // One button for each caption, enabled and released; `clicked` gets the button's index.
  ToolBar(const std::vector<QString>& captions, std::function<void(int index)> clicked, QWidget* parent);

  [[nodiscard]] int count() const { return static_cast<int>(buttons_.size()); }
  // The button at `index`, or nullptr outside the buttons.
  [[nodiscard]] QToolButton* button(int index) const;
  // The button's state in the Windows encoding (window_registry.h), or -1 outside the buttons.
  [[nodiscard]] int state(int index) const;
  // Sets the state and shows it: checked or pressed look sunk, disabled or indeterminate buttons
  // are greyed, hidden ones leave their room to the buttons after them. Ignored outside.
  void setState(int index, int state);

  // Where the first `shown` of `count` buttons lie on a bar of `size`: each an equal share of the
  // bar, side by side from the left, with the margins and spacing `style` gives a tool bar (asked
  // for `bar`, which may be null).
  [[nodiscard]] static std::vector<QRect> ButtonPlaces(const QStyle& style, const QWidget* bar, QSize size,
                                                       int count, int shown);
  // What the bar's panel and a released button are drawn from, on top of `base`, what the
  // widget's own state gives (QStyleOption::initFrom).
  [[nodiscard]] static QStyleOptionToolBar PanelOption(const QStyleOption& base, const QStyle& style,
                                                       const QWidget* bar);
  [[nodiscard]] static QStyleOptionToolButton ButtonOption(const QStyleOption& base, const QString& caption,
                                                           const QFont& font);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Show(int index);
  void PlaceButtons();

  std::vector<QToolButton*> buttons_;
  std::vector<int> states_;
};

}  // namespace kestrin::ui
