#pragma once

#include <QRect>

#include <initializer_list>
#include <map>

class QWidget;

// The window's controls as a table, a row a control: where it sits, the name that the
// window's parts and its tests find it by, what a screen reader calls it, and its place in
// the Tab order. Each half of the window enters the rows of its own controls; the window then
// chains the Tab order once, so that a control added to a half takes its place from its row.
class ControlTable {
public:
    // The tab index of a control that the Tab key does not stop at (a label).
    static constexpr int noTabStop = -1;
    // The unit the window's first controls were laid out in: twips, 15 to a pixel.
    static constexpr int twipsPerPixel = 15;

    struct Row {
        QWidget* widget;
        const char* name;
        QRect place; // pixels; see twips()
        // What a screen reader says for the control, in English (QT_TRANSLATE_NOOP in the
        // context "ControlTable"), shown translated; none: its caption. A label's name is
        // the text it shows: these words go in its description, saying what the text is.
        const char* accessibleName = nullptr;
        // Tab visits the controls in the order of their indices, each index used once.
        int tabIndex = noTabStop;
    };

    // A place given in twips, in pixels.
    static QRect twips(int x, int y, int width, int height);

    // Places, names and labels the rows' controls.
    void enter(std::initializer_list<Row> rows);
    // Chains the Tab order of every control entered that has a tab index.
    void chainTabOrder() const;

private:
    std::map<int, QWidget*> m_tabStops;
};
