#pragma once

#include "engine/joiner.h"
#include "engine/repairer.h"
#include "runner.h"
#include "engine/splitrequest.h"
#include "engine/verifier.h"

// The runs the window starts, one function each: the work calls the engine and turns what it
// returns into the run's outcome.
Run splitRun(const qfs::SplitRequest& request);
// A join that refuses damaged or missing pieces in a folder holding recovery data also checks
// that data, so that the window can offer to rebuild them (RunOutcome::report).
Run joinRun(const qfs::JoinRequest& request);
Run verifyRun(const qfs::VerifyRequest& request);
Run repairRun(const qfs::RepairRequest& request);
