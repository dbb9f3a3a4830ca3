#include "joinobserver.h"

namespace qfs {

void JoinObserver::folderShown(const std::string&) {}
void JoinObserver::verifying(const std::string&) {}
void JoinObserver::progress(std::uint64_t, std::uint64_t) {}

} // namespace qfs
