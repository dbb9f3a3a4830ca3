#pragma once

#include "engine/splitrequest.h"
#include "runner.h"
#include "splitform.h"

#include <QObject>

#include <variant>

class CommonSizes;
class ControlTable;
class DestinationPicker;
class ElidedLabel;
class FileList;
class FolderPane;
class NumericField;
class PlanLine;
class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QWidget;

// The upper half of the window: the file to split, found in a FolderPane (Drive2, Dir2,
// File3); how to cut it, "Specify size" (Option1) with the size (Text2), its unit (Combo1)
// and the common sizes, or "Specify Number of files" (Option2) with the count (Text1);
// whether to write checksums, how many recovery pieces, plain pieces (PlainPieces) and the note
// for a recipient (NoteBox); where the pieces go ("Save pieces
// in", SplitDestination: beside the file unless a folder is chosen); "Split" (Command2); what
// the split would make (PlanLine); and where the last split went: its folder's name (Label2)
// and its pieces (File1).
//
// The half makes its controls and enters them in the window's ControlTable, keeps the plan
// line in step with whatever changes the split's input, reads its fields in one place (for
// SplitForm's rules) and says which of them rest during a run. The window hands it the events of
// the controls it names (Option1_Click, Drive2_Change, ...). A control added to the split is
// made, entered, read and rested here (and kept between runs by WindowSettings).
class SplitHalf : public QObject {
    Q_OBJECT

public:
    // Makes the controls as children of `window`.
    SplitHalf(QWidget& window, ControlTable& table);

    FolderPane& source() const { return *m_source; }
    QRadioButton& bySize() const { return *m_option1; }
    QRadioButton& byCount() const { return *m_option2; }
    NumericField& size() const { return *m_text2; }
    QComboBox& unit() const { return *m_combo1; }
    NumericField& count() const { return *m_text1; }
    DestinationPicker& destination() const { return *m_destination; }
    QPushButton& splitButton() const { return *m_command2; }
    QSpinBox& recoveryPieces() const { return *m_recovery; }
    // "Pieces anyone can join" (plain pieces) and the note for a recipient, which follows it
    // until the user sets it (or chooseNote() does).
    QCheckBox& plainPieces() const { return *m_plain; }
    QCheckBox& note() const { return *m_note; }
    bool noteChosen() const { return m_noteChosen; }
    void chooseNote(bool write);
    // Where a split shows its folder's name and its pieces as they come.
    ElidedLabel& folderName() const { return *m_label2; }
    FileList& pieces() const { return *m_file1; }
    // Whether the plan is still being worked out.
    bool isReading() const;

    // Size mode shows the size, its unit and the common sizes, and hides the count; count
    // mode the other way round. Neither field's text changes.
    void showMode(qfs::SplitMode mode);
    // What the fields hold now: the one reading of them, for the plan line and for "Split".
    SplitForm::Fields fields() const;
    // What "Split" goes ahead with, or why it is refused; a unit list without a selection now
    // shows the unit taken.
    std::variant<qfs::SplitRequest, SplitForm::Refusal> take();
    // Moves the focus to the control a refusal names.
    void focus(SplitForm::Focus target);
    // Has the plan line say anew what a split of the fields would make.
    void showPlan();
    // While a run of this kind goes, "Split" rests, and during a split so do its inputs.
    void rest(RunKind kind, bool resting);

private:
    // Puts the two options in a named group of their own, where they sit: a screen reader says
    // what the choice is about, and they stay each other's only alternative.
    void groupModes(QWidget& window);
    // Makes and enters "Recovery pieces", which follows the plan's piece count.
    void makeRecovery(QWidget& window, ControlTable& table);
    // Makes and enters "Pieces anyone can join" and the note's box.
    void makeFormat(QWidget& window, ControlTable& table);

    QRadioButton* m_option1 = nullptr;
    NumericField* m_text2 = nullptr;
    QComboBox* m_combo1 = nullptr;
    CommonSizes* m_sizes = nullptr;
    QRadioButton* m_option2 = nullptr;
    NumericField* m_text1 = nullptr;
    QCheckBox* m_checksums = nullptr;
    DestinationPicker* m_destination = nullptr;
    PlanLine* m_plan = nullptr;
    ElidedLabel* m_label2 = nullptr;
    FileList* m_file1 = nullptr;
    FolderPane* m_source = nullptr;
    QPushButton* m_command2 = nullptr;
    QSpinBox* m_recovery = nullptr;
    QCheckBox* m_plain = nullptr;
    QCheckBox* m_note = nullptr;
    bool m_noteChosen = false;
};
