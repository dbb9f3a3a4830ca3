#pragma once

#include <string>
#include <string_view>

namespace qfs {

// How a name (or a path) from the file system goes into a text meant for people. Names come
// from folders a stranger may have sent: a carriage return or an escape sequence printed as it
// is would move the cursor, clear lines or restyle the terminal, and so could hide or fake what
// the tool reports.
class NameText {
public:
    // The name unchanged when every character of it is printable UTF-8. Otherwise the whole
    // name quoted as a shell reads it back, $'…': control characters (U+0000–U+001F, U+007F,
    // U+0080–U+009F) as \a \b \t \n \v \f \r \e or three octal digits a byte, bytes that are not
    // UTF-8 as octal digits, and the backslash and the single quote with a backslash. The
    // result never holds a control character, and a result given again comes back unchanged.
    static std::string printable(std::string_view name);
};

} // namespace qfs
