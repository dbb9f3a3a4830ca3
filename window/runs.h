#pragma once

#include "engine/joiner.h"
#include "runner.h"
#include "engine/splitrequest.h"
#include "engine/verifier.h"

// The runs the window starts, one function each: the work calls the engine and turns what it
// returns into the run's outcome.
Run splitRun(const qfs::SplitRequest& request);
Run joinRun(const qfs::JoinRequest& request);
Run verifyRun(const qfs::VerifyRequest& request);
