// Texts of wire fields that the connection's log lines and the tables' cells both show.
#pragma once

#include "Records.h"

#include <string>

namespace telv {

// A fixed-width CP1251 text field up to its first zero byte, as UTF-8.
std::string FieldText(TextField field);
// "a.b.c.d".
std::string DottedAddress(const Ipv4Address& address);

}  // namespace telv
