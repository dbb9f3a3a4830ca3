#include "verifyobserver.h"

namespace qfs {

void VerifyObserver::folderShown(const std::string&) {}
void VerifyObserver::progress(std::uint64_t, std::uint64_t) {}

} // namespace qfs
