#pragma once

#include <string>
#include <string_view>

namespace qfs {

// Names for files and folders that exist only until a piece of work is complete.
namespace TempName {

// The suffixes of the two kinds: a split's folder while its pieces are written, and a file
// while it is written (a rebuilt file, a checksum file) before it takes its final name.
inline constexpr std::string_view folderSuffix = ".part";
inline constexpr std::string_view fileSuffix = ".tmp";

// How many fresh names a caller tries before giving up; a clash is already unlikely.
inline constexpr int attempts = 64;

// A hidden name, ".qfs-" and twelve random letters or digits, then `suffix`. The suffix
// must not end in a digit, so that the name is never taken for a piece. Uniqueness comes from
// creating the file with O_EXCL (or the folder with mkdir); the randomness makes clashes rare.
std::string random(std::string_view suffix);

// Whether `name` is one random() makes with this suffix, exactly: nothing a user names a file
// by chance is taken for one.
bool isOne(std::string_view name, std::string_view suffix);

} // namespace TempName

} // namespace qfs
