// What a layout row asks of its control's look: colours, the fonts of a character height, when a
// label's text breaks into lines, the spacing of check and radio boxes.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

#include "ui/layout.h"

class QStyle;

namespace kestrin::ui {

// The text colour of a row: grey, red or black.
[[nodiscard]] QColor TextColour(unsigned properties);

// An edit box's palette on top of `base`: the row's text colour on white.
[[nodiscard]] QPalette EditPalette(QPalette base, unsigned properties);

// The pixel size whose cell, ascent and descent together, is `cell` pixels high in `base`'s
// face: the largest that fits, as the desktop the layouts come from measures a character height.
// The search loads a font for each size it tries, mostly two.
[[nodiscard]] int PixelSizeForCell(const QFont& base, int cell);

// The font a row asks for on top of `base`, the font of what it lies on.
[[nodiscard]] QFont RowFont(const QFont& base, unsigned properties);

// How far a caption reaches as the layouts were measured, in SimSun: its advance, less the right
// half of a full-width punctuation mark at its end, which SimSun leaves blank ("：" drawn at the
// left of its cell). A face that centres the mark needs the whole advance to show it.
[[nodiscard]] int CaptionReach(const QFont& font, const QString& text);

// Whether a label's text is broken into lines in its box: only when it reaches further than the
// box's width and the box holds two lines.
[[nodiscard]] bool NeedsWrap(const QFont& font, const QString& text, const ControlLayout& row);

// The style check and radio boxes are drawn with: the application's, with the spacing between box
// and caption of the desktop the layouts come from.
[[nodiscard]] QStyle* ChoiceStyle();

}  // namespace kestrin::ui
