// A tool bar of text buttons, drawn as one: a row of flat tool buttons on the style's tool-bar
// panel. Lighter than a QToolBar, whose overflow button loads every image plug-in to draw its
// arrow before the window's first paint.
#pragma once

#include <functional>
#include <vector>

#include <QString>
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
