#pragma once

#include "error.h"
#include "filelayer.h"
#include "verifyobserver.h"
#include "verifyrequest.h"

#include <stop_token>

namespace qfs {

// Checks a folder of pieces against its checksum file, writing nothing.
class Verifier {
public:
    explicit Verifier(FileLayer& layer = FileLayer::system());

    // Runs the whole check, telling the observer as it goes. Returns the failure, if any, that
    // was also reported through the observer; damaged or missing pieces are no failure of the
    // run but findings of its report.
    Error run(const VerifyRequest& request, VerifyObserver& observer, std::stop_token stop = {});

private:
    FileLayer& m_layer;
};

} // namespace qfs
