#pragma once

namespace qfs {
struct Wording;
}

class QLocale;

// The window's language. Every text of the window is written in English and passed through
// Qt's translation (tr()); WindowLanguage puts in the translation for a language, when the
// program has one, and Qt's own for the texts Qt writes (the Yes and No of a question). A
// language without a translation shows the English texts.
//
// The plan line and the progress line are composed by the engine, for the command line too;
// the window hands it a Wording filled from the same translations and the locale's number
// marks ("4,37 GB" under German), so the composition stays in one place.
class WindowLanguage {
public:
    // Uses the translations for this locale (the program's start passes QLocale::system()),
    // in place of any used before, and makes it the locale numbers are written in.
    static void use(const QLocale& locale);
    // The engine's words and number marks in the language used: English until use() is called.
    // Stays valid for the life of the program; changed only by use().
    static const qfs::Wording& wording();
};
