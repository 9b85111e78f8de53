// The line syntax that a partial reading of a key file looks at before parsing, and the filter
// that passes over the lines of skipped names while the file is read, so that a very large key
// is never held, checked or split whole when only a few of its values are wanted.
#pragma once

#include "RegistryFile.h"

#include <optional>
#include <string>
#include <string_view>

namespace telv {

namespace regline {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Without leading and trailing blanks.
inline std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// True for well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view s);
// Whether a line (without its line end) is a value line of a skipped name, decided on the
// line's bytes for the common case: a name of ASCII characters in quotes without escapes, then
// '=', on a line that does not continue. Nothing when the line needs the full reading.
std::optional<bool> IsPlainLineSkipped(std::string_view line, RegistryFile::NameFilter skip);

}  // namespace regline

// Takes a key file's bytes piece by piece as they are read and keeps all of them but the plain
// value lines (see regline::IsPlainLineSkipped) of the names that `skip` accepts.
// RegistryFile::Parse of the kept bytes with the same filter reads exactly as Parse of the whole
// file: only lines that Parse would pass over are left out, found by their line ends alone, and
// the bytes of a line left out are never decoded or checked. A file that is not 8-bit text
// (UTF-16) or holds another key's section is kept whole from there on; Parse then does it all.
class SkippedLineFilter {
public:
    SkippedLineFilter(const std::string& keyName, RegistryFile::NameFilter skip);

    // The next bytes of the file.
    void Feed(std::string_view bytes);
    // The bytes kept; the filter is spent.
    std::string Finish();

private:
    enum class Mode { Start, Lines, Whole };

    void Begin(std::string_view head);
    void FeedLines(std::string_view bytes);
    // One line with its LF, or the last one without.
    void TakeLine(std::string_view line);

    std::string foldedKey_;
    RegistryFile::NameFilter skip_;
    Mode mode_ = Mode::Start;
    std::string kept_;
    std::string partial_;       // Start: the first bytes; Lines: a line begun in an earlier piece
    bool seenContent_ = false;  // a line that is not blank was kept
    bool mayContinue_ = false;  // the last line kept ends with a backslash: the next may continue it
};

}  // namespace telv
