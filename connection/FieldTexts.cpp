#include "FieldTexts.h"

#include "Cp1251.h"
#include "Sysutil.h"

namespace telv {

std::string FieldText(TextField field) {
    return Cp1251ToUtf8(field.first(BoundedLength(field.data(), field.size())));
}

std::string DottedAddress(const Ipv4Address& a) { return Format("%u.%u.%u.%u", a[0], a[1], a[2], a[3]); }

}  // namespace telv
