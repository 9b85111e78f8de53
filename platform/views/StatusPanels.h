// The text panels of a status bar, as the logic writes them.
#pragma once

#include <string>

namespace telv {

class StatusPanels {
public:
    virtual ~StatusPanels() = default;
    virtual void SetPanelText(int panel, const std::string& text) = 0;
};

}  // namespace telv
