#pragma once

#include "engine/splitplan.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qfs {

// The note a split leaves for a recipient without this program, "<name>.how-to-join.txt": plain
// text with the exact commands that check and join this set on Linux, macOS and Windows, and
// repair it with par2 when it has recovery data. Nothing in it runs by itself: the recipient
// reads every line before typing or pasting it.
//
// Lines end in CR LF throughout, so that Notepad shows them as lines too. Each command stands
// on a line of its own, indented by commandIndent, under a heading that names the system.
// Names are quoted for the shell that reads them: for sh (Linux, macOS) in single quotes, a
// quote inside written as '\'', and "./" before a name that starts with "-"; for cmd.exe in
// double quotes. A name cmd.exe cannot take inside double quotes, or that Windows does not
// allow (any of " % < > | ? * : \ /), gets no Windows commands: the note says to rename the
// pieces there. A name with a control character gets no commands at all.
//
// Plain pieces: sha256sum -c / shasum -a 256 -c of the checksum file (which lists the pieces),
// then cat of the pieces in order into "<name>.joining", whose SHA-256 is compared with the
// original's, given in the note, before it is renamed to <name>. Past 999 pieces the names
// are matched one width at a time and handed to cat through xargs, which no length limit of a
// command line stops. On Windows: copy /b of the pieces by name, in lines of at most
// cmdLineLimit characters, the first into "<name>.joining" and each next one appended to it,
// then certutil -hashfile of the result. Signed pieces: the same check, each piece's data
// taken after its signature with tail -c +6; Windows needs this program.
class NoteText {
public:
    // What the note knows besides the plan: whether the checksum file is there, and the SHA-256
    // of the original file, in lower-case hex (empty when it is not known: no check of the
    // joined file is then given).
    struct Facts {
        bool checksumFile = false;
        std::string wholeSha256;
    };

    static std::string howToJoin(const SplitPlan& plan, const Facts& facts);

    // cmd.exe reads command lines of at most this many characters.
    static constexpr std::size_t cmdLineLimit = 8191;
    static constexpr std::string_view commandIndent = "    ";
    static constexpr std::string_view lineEnd = "\r\n";
    static constexpr std::string_view joiningSuffix = ".joining";

    // A name as sh reads it word for word, and as cmd.exe does (empty when it cannot).
    static std::string shQuoted(std::string_view name);
    static std::string cmdQuoted(std::string_view name);
};

} // namespace qfs
