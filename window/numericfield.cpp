#include "numericfield.h"

#include "engine/text/numbertext.h"

#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

namespace {

void setTextKeepingCaret(QLineEdit& field, const QString& text)
{
    const int caret = field.cursorPosition();
    field.setText(text);
    field.setCursorPosition(std::min(caret, int(text.size())));
}

} // namespace

NumericField::NumericField(QWidget* parent) : QLineEdit(parent)
{
    setAcceptDrops(false);
    connect(this, &QLineEdit::textChanged, this, &NumericField::keepValidText);
}

std::int16_t NumericField::FilterNumericKey(std::int16_t keyAscii)
{
    if (keyAscii == 8 || keyAscii == 9)
        return keyAscii;
    // Codes outside the 8-bit code page have no character to match.
    return keyAscii >= '0' && keyAscii <= '9' ? keyAscii : std::int16_t(0);
}

QString NumericField::normalizedText(const QString& text)
{
    if (text.isEmpty())
        return text;
    const auto value = qfs::NumberText::toNumber(text.toStdString());
    if (!value)
        return text;
    const QString whole =
        QString::fromStdString(qfs::NumberText::formatGeneral(std::floor(*value)));
    const auto again = qfs::NumberText::toNumber(whole.toStdString());
    return again && *again == 0 ? QString() : whole;
}

bool NumericField::isAcceptable(const QString& text)
{
    if (text.isEmpty())
        return true;
    const std::string digits = text.toStdString();
    if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return qfs::NumberText::val(digits) >= 1;
    // The exponent form the rewrite writes for 16 digits and more, exactly as it writes it.
    const auto value = qfs::NumberText::toNumber(digits);
    return value && *value >= 1 && std::floor(*value) == *value &&
           qfs::NumberText::formatGeneral(*value) == digits;
}

double NumericField::valueOf(const QString& text)
{
    return qfs::NumberText::val(text.toStdString());
}

void NumericField::NormalizeNumericField(QLineEdit& field)
{
    const QString text = normalizedText(field.text());
    if (text != field.text())
        setTextKeepingCaret(field, text);
}

void NumericField::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    // Keys that type no character (arrows, Home, End, Delete, plain modifiers) are not
    // keystrokes of the filter: the field handles them as usual.
    if (text.isEmpty() || event->key() == Qt::Key_Delete) {
        // Delete edits as Backspace does; the other keys (Shift+Insert pastes) bring text
        // that has to pass isAcceptable().
        const QScopedValueRollback typing(m_typing, event->key() == Qt::Key_Delete);
        QLineEdit::keyPressEvent(event);
        return;
    }
    // A key that types several characters at once cannot be one keystroke.
    std::int16_t keyAscii = 0;
    if (text.size() == 1) {
        const char16_t code = text.front().unicode();
        keyAscii = code < 256 ? std::int16_t(code) : std::int16_t('?');
    }
    if (m_keyHandler && keyAscii != 0)
        m_keyHandler(keyAscii);
    else
        keyAscii = FilterNumericKey(keyAscii);
    if (keyAscii == 0) {
        event->accept();
        return;
    }
    const QScopedValueRollback typing(m_typing, true);
    if (keyAscii == 8 || keyAscii == 9 || QChar(char16_t(keyAscii)) == text.front()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // The handler swapped the character: type the one it chose instead.
    QKeyEvent replaced(event->type(), event->key(), event->modifiers(),
                       QString(QChar(char16_t(keyAscii & 0xFF))), event->isAutoRepeat(),
                       ushort(event->count()));
    QLineEdit::keyPressEvent(&replaced);
}

void NumericField::keepValidText(const QString& text)
{
    // Typed text went through the filter: digits, and what Backspace and Delete leave.
    if (m_typing || isAcceptable(text)) {
        m_lastValid = text;
        return;
    }
    const QSignalBlocker blocker(this);
    setTextKeepingCaret(*this, m_lastValid);
}
