#pragma once

#include "command.h"
#include "engine/fs/error.h"

#include <ostream>
#include <string>
#include <vector>

namespace qfs::cli {

// Carries out one parsed command with the engine: the progress on standard error while it
// runs (only on a terminal), then a one-line summary on `out` (unless quiet) or the failure
// as "quarb: ..." on `err`, followed there by the names of every piece it stands for, one a
// line. A join, verification or repair of a folder without pieces is a failure here
// (WorkFailed): a script must not take it for a rebuilt or checked file. Returns the exit status.
class CommandRunner {
public:
    CommandRunner(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    int run(const Command& command);

    // The failure as a command-line tool states it, "path: what went wrong", or just what
    // went wrong when that is one of the engine's texts that names the file itself; every
    // name in NameText::printable's form.
    static std::string describe(const Error& error);

private:
    int split(const Command& command);
    int join(const Command& command);
    int verify(const Command& command);
    int repair(const Command& command);
    // Rebuilds what can be rebuilt in the folder and says what it did (`summaryShown`: also
    // when there was nothing to rebuild). Done when every piece is intact afterwards; the exit
    // status otherwise, after reporting what is still wrong.
    int repairFolder(const Command& command, bool summaryShown);
    // The exit status of a run that ended in `error`, after reporting it. A run stopped by a
    // signal says only "stopped; " and `undone`, what it removed again.
    int failure(const Error& error, int signal, const std::string& undone = nothingWritten);
    static constexpr const char* nothingWritten = "nothing was written";
    // What the user can do about a refusal that has a way out, on a line of its own below it.
    void hint(const std::string& text);
    // Lists the pieces a finding stands for on `err`, one a line, below its sentence.
    void listNames(const std::vector<std::string>& names);
    // Prints the summary unless quiet; a summary that cannot be written is a failure.
    int summary(const Command& command, const std::string& text);

    std::ostream& m_out;
    std::ostream& m_err;
};

} // namespace qfs::cli
