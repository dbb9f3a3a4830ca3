#pragma once

#include "backgroundread.h"
#include "engine/fs/error.h"
#include "splitform.h"
#include "engine/splitplan.h"

#include <QWidget>

#include <optional>

class ElidedLabel;

// Two lines under the split options that say what pressing "Split" would do: the chosen
// file's name and size, then the pieces the split would make ("→ 7 pieces: 6 × 700 MB and
// one of 137 MB", and "in /media/stick/movie.avi_split" when the pieces go elsewhere than
// beside the file), or why it would be refused (the folder exists, the destination cannot be
// written or lacks the room, a piece would be too large for it, a name too long). The pieces come from the split's own
// survey (Splitter::preview), so the line and the split cannot disagree.
//
// While no file is chosen the lines are empty; while the size or count field is empty they
// ask for it instead of showing the check's message, which the "Split" button still shows.
class PlanLine : public QWidget {
    Q_OBJECT

public:
    explicit PlanLine(QWidget* parent = nullptr);

    // Works out what the split of these fields would make (by SplitForm's rules, as "Split"
    // does). The survey opens the source and asks the drive for its room, so it runs off the
    // window's thread; a later call supersedes this one.
    void showPlan(const SplitForm::Fields& fields);

    // Both lines as one text.
    QString text() const;
    bool isReading() const { return m_read.isReading(); }
    // Whether the second line says why the split would be refused.
    bool isRefusal() const { return m_refusal; }

signals:
    // A plan was shown: the split would make this many pieces.
    void planShown(std::uint64_t pieceCount);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // What the survey found, on the reading thread. Fields that make no request give no
    // plan; the length is the file's when it could be told.
    struct Survey {
        bool requested = false;
        qfs::Error error;
        qfs::SplitPlan plan;
        std::optional<std::uint64_t> length;
    };

    static Survey survey(const SplitForm::Fields& fields);
    void show(const SplitForm::Fields& fields, const Survey& found);
    void setLines(const QString& file, const QString& pieces, bool refusal);

    ElidedLabel* m_file = nullptr;
    ElidedLabel* m_pieces = nullptr;
    bool m_refusal = false;
    BackgroundRead m_read{*this};
};
