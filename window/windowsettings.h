#pragma once

#include "splitform.h"
#include "engine/splitrequest.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class JoinHalf;
class SplitHalf;

// What the window keeps between runs, in the desktop's per-user settings (QSettings' INI
// format: ~/.config/quarb/file-splitter.conf, or where $XDG_CONFIG_HOME says): the folder of
// each half, the split's fields, and where each half writes (a remembered destination that is
// no longer a folder gives the default again). Only a regular file there is read or written.
class WindowSettings {
public:
    // Sets the halves as the last run left them (load()): each starts in the folder it showed
    // last, or else in the current directory, or else at the root.
    static void restore(SplitHalf& split, JoinHalf& join);
    // Keeps what the halves show now, for the next run.
    static void remember(const SplitHalf& split, const JoinHalf& join);

    struct Values {
        std::string splitFolder; // empty: nothing remembered
        std::string joinFolder;
        qfs::SplitMode mode = qfs::SplitMode::BySize;
        std::int16_t unitIndex = SplitForm::defaultUnitIndex;
        QString size;
        QString count;
        std::string splitDestination; // empty: beside the file
        std::string joinDestination;  // empty: the pieces folder
        std::uint32_t recoveryPieces = SplitForm::defaultRecoveryPieces;
        bool plainPieces = false;
        // Set only when the user chose it; unset, the note follows plainPieces.
        std::optional<bool> note = {};
    };

    // What the last run left. Nothing stored (the first start) gives the window's start
    // values; a value that is not of its kind (a unit out of range) is left at its start value.
    // The fields' texts are returned as stored: the fields take only what they accept.
    // Something else than a regular file at the settings path (a FIFO, a device) gives the
    // start values, with a warning on standard error, and save() then keeps nothing.
    static Values load();
    static void save(const Values& values);
};
