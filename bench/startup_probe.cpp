// Starts a desktop program and measures how long it takes until its main
// window has been painted, and how much memory it held at most by then.
// Usage: startup_probe TITLE_PART -- PROGRAM [ARGS...]
// Needs an X display (Xvfb will do). "Painted" is the moment the middle of
// the window's client area first differs from what the server showed when
// the window was mapped: only the program's own drawing changes it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::string windowName(Display* display, Window window) {
    char* name = nullptr;
    std::string result;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        result = name;
        XFree(name);
    }
    return result;
}

// The window with the title, among the top-level windows and their children.
std::optional<Window> findWindow(Display* display, Window parent, const std::string& title,
                                 int depth = 0) {
    Window root = 0, parentOut = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, parent, &root, &parentOut, &children, &count) == 0) {
        return std::nullopt;
    }
    std::optional<Window> found;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable &&
            windowName(display, children[i]).find(title) != std::string::npos) {
            found = children[i];
        } else if (depth < 2) {
            found = findWindow(display, children[i], title, depth + 1);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

std::optional<unsigned long> middlePixel(Display* display, Window window) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) == 0) {
        return std::nullopt;
    }
    XImage* image = XGetImage(display, window, attributes.width / 2, attributes.height / 2, 1, 1,
                              AllPlanes, ZPixmap);
    if (image == nullptr) {
        return std::nullopt;
    }
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return pixel;
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || std::strcmp(argv[2], "--") != 0) {
        std::fprintf(stderr, "usage: startup_probe TITLE_PART -- PROGRAM [ARGS...]\n");
        return 2;
    }
    const std::string title = argv[1];
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "startup_probe: no X display\n");
        return 2;
    }
    XSetErrorHandler(ignoreErrors);

    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[3], argv + 3);
        _exit(127);
    }

    std::optional<Window> window;
    std::optional<unsigned long> shownPixel;
    std::optional<double> paintedMs;
    while (Clock::now() - start < std::chrono::seconds(20) && !paintedMs) {
        if (!window) {
            window = findWindow(display, DefaultRootWindow(display), title);
            if (window) {
                shownPixel = middlePixel(display, *window);
            }
        } else if (auto pixel = middlePixel(display, *window); pixel && pixel != shownPixel) {
            paintedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
        if (!paintedMs) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "startup_probe: the program ended before it painted\n");
            return 1;
        }
    }
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    XCloseDisplay(display);
    if (!paintedMs) {
        std::fprintf(stderr, "startup_probe: no painted window titled \"%s\" within 20 s\n",
                     title.c_str());
        return 1;
    }
    // ru_maxrss is in kilobytes on Linux.
    std::printf("%.1f ms %ld kB\n", *paintedMs, usage.ru_maxrss);
    return 0;
}
