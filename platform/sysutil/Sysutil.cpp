#include "Sysutil.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <locale.h>

namespace telv {
namespace {

// The "C" locale for this thread while it lives, so that printf-style numbers do not pick up a
// decimal comma from the user's locale.
class CNumericScope {
public:
    CNumericScope() : previous_(cLocale() ? uselocale(cLocale()) : nullptr) {}
    ~CNumericScope() {
        if (previous_) uselocale(previous_);
    }
    CNumericScope(const CNumericScope&) = delete;
    CNumericScope& operator=(const CNumericScope&) = delete;

private:
    static locale_t cLocale() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        return c;
    }
    locale_t previous_;
};

int AppendFormatV(std::string& text, const char* format, va_list args) {
    CNumericScope cNumbers;
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed <= 0) return 0;
    const std::size_t oldSize = text.size();
    text.resize(oldSize + static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(text.data() + oldSize, static_cast<std::size_t>(needed) + 1, format, args);
    text.resize(oldSize + static_cast<std::size_t>(needed));
    return needed;
}

}  // namespace

int AppendFormat(std::string& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int appended = AppendFormatV(text, format, args);
    va_end(args);
    return appended;
}

std::string Format(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    AppendFormatV(text, format, args);
    va_end(args);
    return text;
}

std::size_t BoundedLength(const char* field, std::size_t width) {
    if (!field) return 0;
    const void* nul = std::memchr(field, 0, width);
    return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : width;
}

std::size_t BoundedLength(const std::uint8_t* field, std::size_t width) {
    return BoundedLength(reinterpret_cast<const char*>(field), width);
}

}  // namespace telv
