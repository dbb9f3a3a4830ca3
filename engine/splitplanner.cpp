#include "splitplanner.h"

#include "numbertext.h"

#include <cmath>

namespace qfs {

std::optional<CheckFailure> SplitPlanner::validate(const SplitRequest& request)
{
    if (request.sourceFileName.find_first_not_of(' ') == std::string::npos)
        return CheckFailure{"Please select the file.", FocusTarget::FileList};
    if (request.mode == SplitMode::BySize) {
        const std::int16_t unit = effectiveUnitIndex(request.unitIndex);
        if (NumberText::val(request.sizeText) < 1 || unit < 0 || unit >= std::int16_t(sizeUnits.size()))
            return CheckFailure{"Incorrect split size", FocusTarget::SizeField};
    } else if (NumberText::val(request.countText) < 1) {
        return CheckFailure{"Incorrect Number of files specified.", FocusTarget::CountField};
    }
    return std::nullopt;
}

std::int16_t SplitPlanner::effectiveUnitIndex(std::int16_t unitIndex)
{
    return unitIndex == -1 ? defaultUnitIndex : unitIndex;
}

double SplitPlanner::chunkSizeBySize(const std::string& sizeText, std::int16_t unitIndex)
{
    if (unitIndex < 0 || unitIndex >= std::int16_t(sizeUnits.size()))
        return 0.0;
    // nearbyint rounds half to even in the default rounding mode.
    return std::nearbyint(NumberText::val(sizeText) * sizeUnits[std::size_t(unitIndex)].factor);
}

std::optional<double> SplitPlanner::chunkSizeByCount(const std::string& countText,
                                                     double sourceLength)
{
    const auto count = NumberText::toNumber(countText);
    if (!count || *count < 1)
        return std::nullopt;
    return ceiling(sourceLength / *count);
}

double SplitPlanner::ceiling(double x, double factor)
{
    const double q = x / factor;
    const double i = NumberText::intPart(q);
    return q - i > 0 ? factor * (i + 1) : factor * i;
}

} // namespace qfs
