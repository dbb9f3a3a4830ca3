#pragma once

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

// Marks an English template of the texts below for the window's translation tools, which read
// it as they read Qt's QT_TRANSLATE_NOOP (the context is always "Wording"); it stands for the
// text itself.
#define QFS_WORDS(context, english) english

namespace qfs {

// The words and number marks the progress line and the plan line are made of (ProgressText,
// PlanText). The default is the tool's English with "." as the decimal point and "," between
// thousands, which the command line keeps: scripts read it. A program in another language
// puts in its own templates and marks: the window fills one from its translations and the
// person's locale. The texts are still composed here, whatever the words.
//
// A template holds %1, %2, ... where its parts go; a translation may put them in another order.
struct Wording {
    std::string decimalPoint = ".";
    std::string groupSeparator = ",";

    std::string oneByte = QFS_WORDS("Wording", "%1 byte");
    std::string manyBytes = QFS_WORDS("Wording", "%1 bytes");
    std::string seconds = QFS_WORDS("Wording", "%1 s");
    std::string minutesSeconds = QFS_WORDS("Wording", "%1 min %2 s");
    std::string hoursMinutes = QFS_WORDS("Wording", "%1 h %2 min");
    // The progress line: "42 % · 1.3 GB of 3.1 GB · 410 MB/s · 4 s left".
    std::string percent = QFS_WORDS("Wording", "%1 %");
    std::string doneOfTotal = QFS_WORDS("Wording", "%1 of %2");
    std::string perSecond = QFS_WORDS("Wording", "%1/s");
    std::string timeLeft = QFS_WORDS("Wording", "%1 left");
    // The plan line: "→ 7 pieces: 6 × 700 MB and one of 137 MB in <folder> + 1 recovery piece of 700 MB".
    std::string onePiece = QFS_WORDS("Wording", "\u2192 1 piece of %1");
    std::string equalPieces = QFS_WORDS("Wording", "\u2192 %1 pieces of %2");
    std::string twoPieces = QFS_WORDS("Wording", "\u2192 %1 pieces: %2 and %3");
    std::string shorterLast = QFS_WORDS("Wording", "\u2192 %1 pieces: %2 \u00D7 %3 and one of %4");
    std::string piecesIn = QFS_WORDS("Wording", "%1 in %2");
    std::string oneRecoveryPiece = QFS_WORDS("Wording", " + %1 recovery piece of %2");
    std::string recoveryPieces = QFS_WORDS("Wording", " + %1 recovery pieces of %2");
    std::string joined = QFS_WORDS("Wording", "\u2192 %1, %2, in %3");

    // Every template above, for a program that translates them one by one.
    static constexpr std::array templates{
        &Wording::oneByte,     &Wording::manyBytes,   &Wording::seconds,          &Wording::minutesSeconds,
        &Wording::hoursMinutes, &Wording::percent,    &Wording::doneOfTotal,      &Wording::perSecond,
        &Wording::timeLeft,    &Wording::onePiece,    &Wording::equalPieces,      &Wording::twoPieces,
        &Wording::shorterLast, &Wording::piecesIn,    &Wording::oneRecoveryPiece, &Wording::recoveryPieces,
        &Wording::joined,
    };

    // The template with %1 to %9 replaced by the parts, in one pass: a part that holds "%2"
    // stays as it is. A number without a part stays too.
    static std::string fill(std::string_view pattern, std::initializer_list<std::string_view> parts);

    // The tool's English.
    static const Wording& english();
};

} // namespace qfs
