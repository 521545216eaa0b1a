#pragma once

// How korvane shows a name (a stored path, a folder found on disk, a share)
// to a person: as it is when that is safe, else in the shell's $'...' form.

#include <string>
#include <string_view>

namespace korvane {

// Whether `name` must be quoted before it reaches a terminal or a line of
// korvane's own text. It must when it holds
//   - a C0 control (0x00 to 0x1F, with TAB, CR and LF) or DEL (0x7F): they
//     move the cursor, start escape sequences, or break a line so that what
//     follows reads as a line of korvane's own;
//   - a C1 control U+0080 to U+009F written in UTF-8 (CSI, OSC, NEL ...),
//     which terminals act on as they do on ESC [, ESC ] and a line end;
//   - a character that changes how a line reads without being seen: the
//     line and paragraph separators U+2028 and U+2029, the bidirectional
//     embeddings and overrides U+202A to U+202E and the isolates U+2066 to
//     U+2069;
//   - any byte that is not part of a valid UTF-8 character. Raw bytes 0x80
//     to 0x9F are themselves the C1 controls on a terminal that is not in
//     UTF-8, and undecoded names are full of them (they begin two thirds of
//     the characters of a CP932 name), so a name that is not UTF-8 is shown
//     as its bytes rather than as whatever the terminal makes of them.
//     --utf8 shows such names decoded instead;
//   - nothing of the above, but begins with $' and so would read as quoted.
bool needsQuoting(std::string_view name);

// Whether `c` is one of the characters above beyond ASCII: a C1 control, a
// line or paragraph separator, or a bidirectional embedding, override or
// isolate.
bool isHiddenControl(char32_t c);

// `name` as it is when it needs no quoting, else the whole of it as $'...':
// printable ASCII and valid UTF-8 characters that need no quoting as they
// are, backslash as \\, the quote as \', BEL, BS, TAB, LF, VT, FF, CR and
// ESC as \a \b \t \n \v \f \r \e, and every other byte that needs quoting
// as \xHH (two lower-case hex digits, a character in UTF-8 byte by byte).
// It reads back in bash and zsh as exactly the bytes of the name, so a
// printed argument can be pasted; a Windows path such as D:\x1b\clip.avi
// stays as it is, since only a quoted name holds escapes.
std::string quoteName(std::string_view name);

} // namespace korvane
