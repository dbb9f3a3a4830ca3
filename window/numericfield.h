#pragma once

#include <QLineEdit>
#include <QString>

#include <cstdint>
#include <functional>

// A single-line field for whole numbers. Every typed character goes through a key handler
// first (the window's KeyPress handler), which may cancel it by setting the code to 0.
// Text arriving any other way (a paste from the context menu, an input method, the program
// itself) is taken only when it is a whole positive number (isAcceptable()); otherwise the
// field keeps its last valid text. Drops are not taken: a file dropped on the field goes to
// the window.
class NumericField : public QLineEdit {
    Q_OBJECT

public:
    using KeyHandler = std::function<void(std::int16_t& keyAscii)>;

    explicit NumericField(QWidget* parent = nullptr);

    void setKeyHandler(KeyHandler handler) { m_keyHandler = std::move(handler); }

    // The keystroke filter: Backspace (8) and Tab (9) pass, a digit passes, anything else
    // becomes 0, which cancels the keystroke.
    static std::int16_t FilterNumericKey(std::int16_t keyAscii);

    // The rewrite of every timer tick: the text is cut to its whole part and written back in
    // the general number form; a value of 0 empties the field. The field is written only
    // when its text changes, and the caret stays where it was.
    static void NormalizeNumericField(QLineEdit& field);

    // What the rewrite makes of a text (empty stays empty).
    static QString normalizedText(const QString& text);
    // Whether text that was not typed may stand in the field: empty, or a whole number of at
    // least 1 written in digits or in the field's own exponent form ("1.23456789012346E+15").
    static bool isAcceptable(const QString& text);

    // The number the field holds, 0 when it is empty: the one reading of its text, the same
    // under every locale. A split and the plan line both take it from here.
    double value() const { return valueOf(text()); }
    static double valueOf(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void keepValidText(const QString& text);

    KeyHandler m_keyHandler;
    QString m_lastValid;
    bool m_typing = false; // a keystroke of the filter is changing the text
};
