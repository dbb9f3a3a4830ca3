#pragma once

#include "runner.h"

#include <QObject>

class ControlTable;
class DestinationPicker;
class ElidedLabel;
class FolderPane;
class QPushButton;
class QWidget;

// The lower half of the window: the folder of pieces, found in a FolderPane (Drive1, Dir1,
// File2); "Join" (Command3), "Verify" and "Repair"; where the rebuilt file goes ("Save joined
// file in", JoinDestination: the pieces folder unless a folder is chosen); and the folder the
// last join worked in (Label3).
// The half makes its controls, enters them in the window's ControlTable and says which of
// them rest during a run; the window hands it the events of the controls it names
// (Drive1_Change, Dir1_Change). A control added to the join is made, entered and rested here
// (and kept between runs by WindowSettings).
class JoinHalf : public QObject {
    Q_OBJECT

public:
    // Makes the controls as children of `window`.
    JoinHalf(QWidget& window, ControlTable& table);

    FolderPane& source() const { return *m_source; }
    QPushButton& joinButton() const { return *m_command3; }
    QPushButton& verifyButton() const { return *m_verify; }
    DestinationPicker& destination() const { return *m_destination; }
    QPushButton& repairButton() const { return *m_repair; }
    // Where a join shows the folder it works in.
    ElidedLabel& folderName() const { return *m_label3; }

    // While a run of this kind goes, "Join", "Verify" and "Repair" rest, during a join, a
    // verification or a repair so does the folder they read, and during a join where it writes.
    void rest(RunKind kind, bool resting);
    // Whether "Repair" is offered: the last verification or join of the folder shown found
    // pieces its recovery data can rebuild. Another folder takes the offer back.
    void offerRepair(bool offered);

private:
    QPushButton* m_command3 = nullptr;
    FolderPane* m_source = nullptr;
    ElidedLabel* m_label3 = nullptr;
    QPushButton* m_verify = nullptr;
    DestinationPicker* m_destination = nullptr;
    QPushButton* m_repair = nullptr;
    bool m_repairOffered = false;
};
