#include "Help.h"

namespace telv {

std::string HelpTopicAddress(const char* keyword) {
    const std::string_view topic = (keyword && *keyword) ? std::string_view(keyword) : kFallbackHelpTopic;
    std::string address(kHelpFileName);
    address += "::/";
    address += topic;
    address += ".htm";
    return address;
}

bool FormHelp(const HtmlHelpFunc& htmlHelp, std::uint16_t command, const char* keyword, bool& callHelp) {
    callHelp = false;
    if (!htmlHelp || command != kKeywordHelpCommand) return false;
    htmlHelp(HelpTopicAddress(keyword));
    return true;
}

}  // namespace telv
