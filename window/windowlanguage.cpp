#include "windowlanguage.h"

#include "engine/text/wording.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <array>
#include <memory>
#include <utility>

namespace {

// The program's translations, compiled in, and Qt's, where the system keeps them.
const QString ownFiles = QStringLiteral(":/i18n");
const QString ownName = QStringLiteral("quarb");
const QString qtName = QStringLiteral("qtbase");
const QString separator = QStringLiteral("_");

// The translators installed: the program's, then Qt's.
std::array<std::unique_ptr<QTranslator>, 2>& installed()
{
    static std::array<std::unique_ptr<QTranslator>, 2> translators;
    return translators;
}

qfs::Wording& words()
{
    static qfs::Wording wording;
    return wording;
}

} // namespace

const qfs::Wording& WindowLanguage::wording()
{
    return words();
}

void WindowLanguage::use(const QLocale& locale)
{
    for (auto& translator : installed()) {
        if (translator)
            QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
    QLocale::setDefault(locale);
    const std::array<std::pair<QString, QString>, 2> sources{{
        {ownName, ownFiles},
        {qtName, QLibraryInfo::path(QLibraryInfo::TranslationsPath)},
    }};
    for (std::size_t i = 0; i < sources.size(); ++i) {
        auto translator = std::make_unique<QTranslator>();
        // English, the texts' own language, has no file: nothing is loaded for it.
        if (translator->load(locale, sources[i].first, separator, sources[i].second) &&
            QCoreApplication::installTranslator(translator.get()))
            installed()[i] = std::move(translator);
    }
    // The engine's English templates are the sources of their translations.
    qfs::Wording filled;
    for (const auto member : qfs::Wording::templates)
        filled.*member = QCoreApplication::translate("Wording", (filled.*member).c_str()).toStdString();
    filled.decimalPoint = locale.decimalPoint().toStdString();
    filled.groupSeparator = locale.groupSeparator().toStdString();
    words() = filled;
}
