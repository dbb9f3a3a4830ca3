#pragma once

#include "engine/recovery/galoisfield.h"
#include "engine/recovery/recoveryplan.h"
#include "engine/splitrequest.h"

#include <QCoreApplication>
#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <variant>

class QComboBox;

// The split's fields as numbers, and the rules that turn them into a request of whole bytes
// or pieces for the engine, or into the fixed message a refused "Split" shows and the control
// that then takes the focus. SplitHalf reads the fields from its controls in one place, for
// the plan line and for "Split" alike, so that the two cannot disagree.
class SplitForm {
public:
    // One entry of the unit list: its text and how many bytes one unit holds.
    struct SizeUnit {
        const char* listText;
        double factor;
    };
    static constexpr std::array<SizeUnit, 4> units{{
        {QT_TRANSLATE_NOOP("SplitForm", "GigaBytes"), 1073741824.0},
        {QT_TRANSLATE_NOOP("SplitForm", "MegaBytes"), 1048576.0},
        {QT_TRANSLATE_NOOP("SplitForm", "KiloBytes"), 1024.0},
        {QT_TRANSLATE_NOOP("SplitForm", "Bytes"), 1.0},
    }};
    // The unit taken when the unit list has no selection (index -1).
    static constexpr int defaultUnitIndex = 2;
    // The unit whose factor is 1: a size given in bytes.
    static constexpr int bytesUnitIndex = 3;

    // Recovery pieces: one by default, so that any one piece may be lost; at most one for each
    // piece of the largest set the recovery data can cover (the engine says so past that).
    static constexpr std::uint32_t defaultRecoveryPieces = 1;
    static constexpr std::uint32_t largestRecovery = qfs::GaloisField::maxSourceSlices / qfs::recoverySlicesPerPiece;

    // The control a refused "Split" sends the focus to.
    enum class Focus { FileList, SizeField, CountField };

    // What the fields hold, as numbers where they are numbers.
    struct Fields {
        std::string directory;
        std::string fileName;    // the selected file, exactly as listed; empty when none
        bool bySize = true;
        double size = 0;         // the size field's value: 0 when empty, NaN when no number
        int unitIndex = -1;      // -1: nothing selected
        double count = 0;        // the same for the count field
        bool checksums = true;
        std::string destination = {}; // the folder the split folder goes into; empty: beside the file
        std::uint32_t recoveryPieces = 0;
        bool plainPieces = false;
        bool note = false;
    };
    struct Refusal {
        QString message;
        Focus focus;
    };
    // The request the fields make, or the first check they fail: no file (a name of blanks
    // is none), a size below 1 or of an unknown unit, a count below 1. A value that is not a
    // number fails like one below 1; the field that the mode does not use is not looked at.
    static std::variant<qfs::SplitRequest, Refusal> read(const Fields& fields);

    // The unit a split uses: a missing selection becomes "KiloBytes".
    static int effectiveUnitIndex(int unitIndex);
    // Size times the unit's factor, rounded half to even; sizes beyond 64 bits count as the
    // largest (every size from the file's length on gives one piece); 0 for an unknown unit.
    static std::uint64_t bytes(double size, int unitIndex);

    // Fills the unit list with the units.
    static void fillUnits(QComboBox& list);
};
