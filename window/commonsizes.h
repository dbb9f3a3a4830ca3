#pragma once

#include <QString>
#include <QToolButton>

#include <array>
#include <cstdint>

// A small menu beside the size field with the piece sizes people split for. Choosing one
// fills the size field and the unit list (chosen()). Each size is the data of a piece; a
// piece file is five bytes longer (its signature), and the sizes leave room for that.
class CommonSizes : public QToolButton {
    Q_OBJECT

public:
    struct Size {
        const char* text;         // the menu entry
        const char* amount;       // the size field's text
        std::int16_t unitIndex;   // the unit list's entry
    };

    static const std::array<Size, 5> sizes;

    explicit CommonSizes(QWidget* parent = nullptr);

signals:
    void chosen(const QString& amount, int unitIndex);
};
