#include "joinobserver.h"

namespace qfs {

void JoinObserver::folderShown(const std::string&) {}
void JoinObserver::verifying(const std::string&) {}
void JoinObserver::leftoversRemoved(const Leftovers&) {}
void JoinObserver::progress(std::uint64_t, std::uint64_t) {}
void JoinObserver::finished(const std::string&, std::uint64_t) {}
void JoinObserver::failed(const Error&) {}

} // namespace qfs
