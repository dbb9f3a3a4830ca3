#include "splitobserver.h"

namespace qfs {

void SplitObserver::folderNameShown(const std::string&) {}
void SplitObserver::folderOpened(const std::string&) {}
void SplitObserver::pieceWritten(const std::string&) {}
void SplitObserver::progress(std::uint64_t, std::uint64_t) {}

} // namespace qfs
