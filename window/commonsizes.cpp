#include "commonsizes.h"

#include "splitform.h"
#include "windowlook.h"

#include <QMenu>

namespace {

constexpr std::int16_t gigaBytes = 0;
constexpr std::int16_t megaBytes = 1;

} // namespace

const std::array<CommonSizes::Size, 5> CommonSizes::sizes{{
    // FAT32 takes files of up to 4 GiB - 1 byte: the signature's five bytes come off that.
    {QT_TRANSLATE_NOOP("CommonSizes", "FAT32 stick (files up to 4 GiB \u2212 1 byte)"),
     "4294967290", SplitForm::bytesUnitIndex},
    // An 80-minute CD-R holds 737,280,000 bytes: 700 MiB and a signature fit.
    {QT_TRANSLATE_NOOP("CommonSizes", "CD (700 MB)"), "700", megaBytes},
    // A single-layer DVD+R holds 4,700,372,992 bytes, a DVD-R a little more; 4480 MiB leave
    // about 2.7 MB for the disc's file system.
    {QT_TRANSLATE_NOOP("CommonSizes", "DVD (4.7 GB)"), "4480", megaBytes},
    // Mail limits of 25 MB count the message as sent, in decimal megabytes: Base64 with its
    // line breaks makes an attachment about 1.37 times larger, so 17 MiB go out as 24.4 MB.
    {QT_TRANSLATE_NOOP("CommonSizes", "Mail attachment (25 MB limit)"), "17", megaBytes},
    {QT_TRANSLATE_NOOP("CommonSizes", "2 GB"), "2", gigaBytes},
}};

CommonSizes::CommonSizes(QWidget* parent) : QToolButton(parent)
{
    setText(tr("Common sizes \u25BE"));
    setAccessibleName(tr("Common sizes"));
    setToolTip(tr("Fill in a piece size people often split for"));
    setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("CommonSizesMenu"));
    for (const Size& size : sizes) {
        QAction* action = menu->addAction(tr(size.text));
        connect(action, &QAction::triggered, this, [this, size] {
            emit chosen(QString::fromLatin1(size.amount), size.unitIndex);
        });
    }
    setMenu(menu);
    WindowLook::paintButton(*this);
    // The arrow is in the text: the style's own would be drawn over it.
    setStyleSheet(styleSheet() + QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
}
