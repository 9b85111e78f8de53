// Small text utilities shared by every subsystem.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace telv {

// Formats the arguments by the C library's printf rules and appends the result to text.
// Numbers always use the C conventions ("0.587"), whatever the process locale says.
// Returns the number of characters appended; an empty result leaves text unchanged.
int AppendFormat(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));

// printf-style formatting into a new string, with the same C number conventions.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Length of a fixed-width text field that need not be terminated: the characters before the
// first NUL byte, never more than width.
std::size_t BoundedLength(const char* field, std::size_t width);
std::size_t BoundedLength(const std::uint8_t* field, std::size_t width);

}  // namespace telv
