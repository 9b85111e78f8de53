// Tells the operator when the settings cannot be saved, once per failure: a save that fails
// after the start or after a save that succeeded is reported, a retry that fails for the same
// reason is not.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace telv {

class SettingsSaveReport {
public:
    // log receives the line, e.g. "could not save the settings: No space left on device".
    explicit SettingsSaveReport(std::function<void(const std::string&)> log) : log_(std::move(log)) {}

    void Saved() { reported_.clear(); }
    void Failed(std::string_view reason) {
        const std::string text = std::string(reason.empty() ? std::string_view("unknown error") : reason);
        if (text == reported_) return;
        reported_ = text;
        log_("could not save the settings: " + text);
    }

private:
    std::function<void(const std::string&)> log_;
    std::string reported_;  // the failure reported last; empty after a success
};

}  // namespace telv
