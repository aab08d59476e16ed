#pragma once

namespace dl250t {

// What the controller asks of the window it lives in.
class WindowHost {
public:
    virtual ~WindowHost() = default;

    // Starts delivering serial-port arrivals and removals to the controller.
    // False when no source of such events could be started.
    virtual bool registerPortNotifications() = 0;

    // The whole window with the advanced panel, or the window without the strip
    // below the bottom row. Both keep the window's top left corner in place.
    virtual void showFullHeight() = 0;
    virtual void showCollapsedHeight() = 0;

    // The modal About box; returns when it is closed.
    virtual void showAbout() = 0;
};

}  // namespace dl250t
