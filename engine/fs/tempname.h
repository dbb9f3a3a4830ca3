#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace qfs {

// Names for files and folders that exist only until a piece of work is complete.
namespace TempName {

// The suffixes of the two kinds: a split's folder while its pieces are written, and a file
// while it is written (a rebuilt file, a checksum file) before it takes its final name.
inline constexpr std::string_view folderSuffix = ".part";
inline constexpr std::string_view fileSuffix = ".tmp";

// How many fresh names makeFresh() tries before giving up; a clash is already unlikely.
inline constexpr int attempts = 64;

// A hidden name, ".qfs-" and twelve random letters or digits, then `suffix`. The suffix
// must not end in a digit, so that the name is never taken for a piece. Uniqueness comes from
// creating the file with O_EXCL (or the folder with mkdir); the randomness makes clashes rare.
std::string random(std::string_view suffix);

// Makes a file or folder under a fresh name with `suffix`, the one way the engine does: calls
// `make` with new names from random() until it makes one (returns true) or fails for another
// reason than a taken name. `make` creates exclusively (O_CREAT | O_EXCL, mkdirat(), linkat())
// and returns false with errno set; EEXIST means the name was taken (also when another run
// took what it made), and the next name is tried. Returns 0 with the name made in `name`, or
// the errno of the failure: EEXIST when all `attempts` names were taken.
int makeFresh(std::string_view suffix, const std::function<bool(const std::string&)>& make, std::string& name);

// Whether `name` is one random() makes with this suffix, exactly: nothing a user names a file
// by chance is taken for one.
bool isOne(std::string_view name, std::string_view suffix);

} // namespace TempName

} // namespace qfs
