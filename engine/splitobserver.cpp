#include "splitobserver.h"

namespace qfs {

void SplitObserver::checkFailed(const std::string&, FocusTarget) {}
void SplitObserver::folderNameShown(const std::string&) {}
void SplitObserver::folderOpened(const std::string&) {}
void SplitObserver::unitDefaulted(std::int16_t) {}
void SplitObserver::pieceWritten(const std::string&) {}
void SplitObserver::leftoversRemoved(const Leftovers&) {}
void SplitObserver::progress(std::uint64_t, std::uint64_t) {}
void SplitObserver::checksumsWritten(const std::string&) {}
void SplitObserver::finished() {}
void SplitObserver::failed(const Error&) {}

} // namespace qfs
