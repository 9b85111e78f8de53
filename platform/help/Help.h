// Help requests: the topic addresses of the help file and the application's help handler.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace telv {

inline constexpr std::string_view kHelpFileName = "TelvServer.chm";
inline constexpr std::string_view kWindowHelpKeyword = "telv_client_overview";
inline constexpr std::string_view kFallbackHelpTopic = "introduction";
// The help command of a keyword request; its data is the keyword text.
inline constexpr std::uint16_t kKeywordHelpCommand = 258;  // 0x0102

// "TelvServer.chm::/" + keyword + ".htm"; an empty or null keyword gives the topic "introduction".
std::string HelpTopicAddress(const char* keyword);

// Shows the topic at an address; empty when no help viewer is available.
using HtmlHelpFunc = std::function<void(const std::string& topicAddress)>;

// The application's help handler. Handles keyword requests only, and only when htmlHelp is set:
// shows the keyword's topic and returns true. Every other request is refused (false) and shows
// nothing. callHelp, which would let the platform go on with help of its own, is always false.
bool FormHelp(const HtmlHelpFunc& htmlHelp, std::uint16_t command, const char* keyword, bool& callHelp);

}  // namespace telv
