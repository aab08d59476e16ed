#pragma once

#include "app/window_host.hpp"

namespace dl250t {

// The window of a controller that runs without one: in the companion program,
// on a production rig or in a benchmark. Port events come from whoever drives
// the controller, so registering for them always succeeds.
class HeadlessWindowHost final : public WindowHost {
public:
    bool registerPortNotifications() override { return true; }
    void showFullHeight() override {}
    void showCollapsedHeight() override {}
    void showAbout() override {}
};

}  // namespace dl250t
