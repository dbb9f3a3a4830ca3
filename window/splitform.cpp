#include "splitform.h"

#include <QComboBox>
#include <QCoreApplication>

#include <cmath>

namespace {

// 2^64: the first size that no longer fits the engine's numbers.
constexpr double beyondLargest = 18446744073709551616.0;

bool knownUnit(int unitIndex)
{
    return unitIndex >= 0 && unitIndex < int(SplitForm::units.size());
}

} // namespace

std::variant<qfs::SplitRequest, SplitForm::Refusal> SplitForm::read(const Fields& fields)
{
    if (fields.fileName.find_first_not_of(' ') == std::string::npos)
        return Refusal{QCoreApplication::translate("SplitForm", "Please select the file."), Focus::FileList};
    qfs::SplitRequest request{fields.directory, fields.fileName, qfs::SplitMode::BySize, 0, fields.checksums,
                              fields.destination};
    request.recoveryPieces = fields.recoveryPieces;
    request.format = fields.plainPieces ? qfs::PieceFormat::Plain : qfs::PieceFormat::Signed;
    request.writeNote = fields.note;
    if (fields.bySize) {
        const int unit = effectiveUnitIndex(fields.unitIndex);
        // Written so that NaN fails too.
        if (!(fields.size >= 1) || !knownUnit(unit))
            return Refusal{QCoreApplication::translate("SplitForm", "Incorrect split size"), Focus::SizeField};
        request.amount = bytes(fields.size, unit);
    } else {
        if (!(fields.count >= 1))
            return Refusal{QCoreApplication::translate("SplitForm", "Incorrect Number of files specified."),
                           Focus::CountField};
        request.mode = qfs::SplitMode::ByCount;
        request.amount = fields.count >= beyondLargest ? ~std::uint64_t(0) : std::uint64_t(fields.count);
    }
    return request;
}

int SplitForm::effectiveUnitIndex(int unitIndex)
{
    return unitIndex == -1 ? defaultUnitIndex : unitIndex;
}

std::uint64_t SplitForm::bytes(double size, int unitIndex)
{
    if (!knownUnit(unitIndex) || !(size > 0))
        return 0;
    // nearbyint rounds half to even in the default rounding mode.
    const double rounded = std::nearbyint(size * units[std::size_t(unitIndex)].factor);
    return rounded >= beyondLargest ? ~std::uint64_t(0) : std::uint64_t(rounded);
}

void SplitForm::fillUnits(QComboBox& list)
{
    for (const SizeUnit& unit : units)
        list.addItem(QCoreApplication::translate("SplitForm", unit.listText));
}
