// Edit boxes as widgets: made from their rows, what they show read back as the program's text,
// and the program's texts shown in them, fast enough for logs of hundreds of thousands of lines.
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

#include "runtime/codepage.h"
#include "ui/qt/control_looks.h"
#include "ui/qt/widget_access.h"
#include "ui/qt/window_registry.h"

namespace kestrin::ui {
namespace {

// A text document keeps every block as an object of its own, which makes a log of 200,000 lines
// cost half a second to take in. Lines within a block are broken by line separators instead,
// which lay out and read back (as "\n") the same; a block of sixteen lines is still quick to lay
// out when it scrolls into view.
constexpr int kLinesPerBlock = 16;

// A lone CR is not a line break in a Windows edit control: the box keeps it, on its line, and
// reads it back. Qt's text widgets take every CR for a line break, so a box holds it as a
// character that takes no room, and reads that back as the CR.
constexpr QChar kLoneCr(0x200B);

// The plain-text layout counts a block it has not laid out yet as one line, so the scroll bar
// of a long log would step sixteen lines at a time until each block had been shown. After a
// change from `first` to the end that made or removed blocks, the layout has laid none of them
// out, and each is given the lines its separators make; laying one out later counts the lines
// that wrapping adds. (A change within one block it lays out at once, and counts itself.) The
// blocks between the first and the last were made whole, kLinesPerBlock lines each.
void CountBlockLines(QPlainTextEdit* edit, const QTextBlock& first, int blocksBefore) {
  QTextDocument* document = edit->document();
  const QTextBlock last = document->lastBlock();
  if (first == last && document->blockCount() == blocksBefore) return;
  const auto linesOf = [](const QTextBlock& block) {
    return static_cast<int>(block.text().count(QChar(QChar::LineSeparator))) + 1;
  };
  for (QTextBlock block = first; block.isValid(); block = block.next()) {
    block.setLineCount(block == first || block == last ? linesOf(block) : kLinesPerBlock);
  }
  // The scroll bar follows the document's size, which the layout announces only on its own.
  QAbstractTextDocumentLayout* layout = document->documentLayout();
  emit layout->documentSizeChanged(layout->documentSize());
}

void MarkEdited(const std::string& window, const std::string& control) {
  LiveWindow* live = FindWindow(window);
  if (live == nullptr) return;
  if (auto entry = live->controls.find(control); entry != live->controls.end()) {
    entry->second.linesInLastBlock = kLinesPerBlock;  // unknown: the next program line starts a block
  }
  live->state->MarkEdited(control);
}

}  // namespace

QWidget* MakeEditBox(const ControlLayout& row, QWidget* parent, const std::string& window,
                     const std::string& control) {
  QWidget* edit;
  if (row.properties & kMultiLine) {
    auto* multi = new QPlainTextEdit(parent);
    multi->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Lines wrap at the box's width, a word broken where it is longer: there is never anything
    // to scroll sideways. Left to itself, a box a line or two high kept a horizontal bar with
    // nothing to scroll after its first layout at the default size.
    multi->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    multi->setTabChangesFocus(true);
    multi->setReadOnly(row.properties & kReadOnly);
    QObject::connect(multi, &QPlainTextEdit::textChanged, multi, [window, control] {
      if (!ProgramEdit::Now()) MarkEdited(window, control);
    });
    edit = multi;
  } else {
    auto* line = new QLineEdit(parent);
    line->setReadOnly(row.properties & kReadOnly);
    // A read-only box gets focus only from a click: focus handed on when the page's controls hide
    // would select its whole text and scroll its start out of sight.
    if (row.properties & kReadOnly) line->setFocusPolicy(Qt::ClickFocus);
    QObject::connect(line, &QLineEdit::textEdited, line, [window, control] { MarkEdited(window, control); });
    edit = line;
  }
  edit->setPalette(EditPalette(edit->palette(), row.properties));
  return edit;
}

QString ShownInLine(std::string_view gbk) {
  QString text = ToQString(gbk);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar(u'\r'), kLoneCr);
  return text;
}

// Program texts are mostly ASCII (addresses), which is copied as it is; only runs of two-byte
// characters go through the converter.
QString ShownInBlocks(std::string_view gbk, int& lines) {
  QString shown(static_cast<qsizetype>(gbk.size()), Qt::Uninitialized);  // a GBK byte never makes two units
  QChar* out = shown.data();
  const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(gbk[i]); };
  for (std::size_t i = 0; i < gbk.size();) {
    const unsigned char b = byteAt(i);
    if (b >= 0x80) {
      // A lead byte takes its trail byte along; a trail byte is never CR or LF.
      std::size_t end = i;
      while (end < gbk.size() && byteAt(end) >= 0x80) {
        const bool pair = byteAt(end) >= 0x81 && byteAt(end) <= 0xFE && end + 1 < gbk.size() && byteAt(end + 1) >= 0x40;
        end += pair ? 2 : 1;
      }
      const std::u16string run = GbkToUtf16(gbk.substr(i, end - i));
      std::copy(run.begin(), run.end(), reinterpret_cast<char16_t*>(out));
      out += run.size();
      i = end;
      continue;
    }
    ++i;
    if (b != '\r' && b != '\n') {
      *out++ = QChar(b);
      continue;
    }
    if (b == '\r') {
      if (i == gbk.size() || byteAt(i) != '\n') {
        *out++ = kLoneCr;
        continue;
      }
      ++i;  // CR LF is one line break, as a lone LF is
    }
    if (++lines >= kLinesPerBlock) {
      *out++ = QChar(u'\n');
      lines = 0;
    } else {
      *out++ = QChar(QChar::LineSeparator);
    }
  }
  shown.truncate(out - shown.constData());
  return shown;
}

Text ShownEditText(const ControlEntry& entry) {
  QString shown;
  if (auto* line = qobject_cast<QLineEdit*>(entry.object)) shown = line->text();
  // Line separators read back as "\n" too.
  if (auto* multi = qobject_cast<QPlainTextEdit*>(entry.object)) shown = multi->toPlainText();
  shown.replace(QChar(u'\n'), QStringLiteral("\r\n"));
  shown.replace(kLoneCr, QChar(u'\r'));
  return FromQString(shown);
}

void ShowEditText(ControlEntry& entry, const Text& text) {
  const ProgramEdit editing;
  if (auto* line = qobject_cast<QLineEdit*>(entry.object)) {
    line->setText(ShownInLine(text));
    line->setCursorPosition(0);
  }
  if (auto* multi = qobject_cast<QPlainTextEdit*>(entry.object)) {
    entry.linesInLastBlock = 0;
    const int blocksBefore = multi->document()->blockCount();
    multi->setPlainText(ShownInBlocks(text, entry.linesInLastBlock));
    CountBlockLines(multi, multi->document()->firstBlock(), blocksBefore);
  }
}

void ShowAppended(ControlEntry& entry, const Text& text) {
  const ProgramEdit editing;
  if (auto* line = qobject_cast<QLineEdit*>(entry.object)) {
    line->setText(line->text() + ShownInLine(text));
    line->end(false);
  }
  if (auto* multi = qobject_cast<QPlainTextEdit*>(entry.object)) {
    QTextCursor cursor = multi->textCursor();
    cursor.movePosition(QTextCursor::End);
    // Appending is not undoable, and it drops what the user could have undone before.
    multi->document()->setUndoRedoEnabled(false);
    const QTextBlock first = cursor.block();
    const int blocksBefore = multi->document()->blockCount();
    cursor.insertText(ShownInBlocks(text, entry.linesInLastBlock));
    CountBlockLines(multi, first, blocksBefore);
    multi->document()->setUndoRedoEnabled(true);
    multi->setTextCursor(cursor);
    multi->ensureCursorVisible();
  }
}

}  // namespace kestrin::ui
