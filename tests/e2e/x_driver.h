#pragma once
// A small XTest driver for end-to-end tests: finds top-level windows by title, moves and clicks
// the pointer, types text and presses keys as a user would, and takes screenshots.

#include <sys/types.h>

#include <QImage>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;
typedef unsigned long XID;

namespace orb::test {

struct TScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class TXDriver {
public:
    using Window = XID;
    using KeySym = XID;

    TXDriver() = default;
    ~TXDriver() { Close(); }
    TXDriver(const TXDriver&) = delete;
    TXDriver& operator=(const TXDriver&) = delete;

    bool Open(const std::string& display, std::string* error);
    void Close();
    Display* X() const { return display_; }

    // A viewable window whose title (_NET_WM_NAME, else WM_NAME) satisfies `match`, searched
    // through the whole window tree; with pid > 0 only windows of that process (_NET_WM_PID).
    std::optional<Window> FindWindow(const std::function<bool(const std::string&)>& match, pid_t pid = 0);
    // Polls FindWindow until it succeeds or timeoutMs has passed.
    std::optional<Window> WaitForWindow(const std::function<bool(const std::string&)>& match, pid_t pid,
                                        int timeoutMs);
    // A window showing the caption; Qt may add " — " and the application's display name.
    std::optional<Window> WaitForTitle(const std::string& caption, pid_t pid, int timeoutMs) {
        return WaitForWindow([caption](const std::string& t) { return ShowsCaption(t, caption); }, pid, timeoutMs);
    }
    static bool ShowsCaption(const std::string& title, const std::string& caption) {
        return title == caption || title.rfind(caption + " — ", 0) == 0;
    }
    std::string Title(Window w);
    // One line per viewable window with a title: its title, process id and geometry (for reports).
    std::string DescribeWindows();
    // Position on the screen and size; nullopt when the window is gone.
    std::optional<TScreenRect> Geometry(Window w);

    void MoveTo(int x, int y);
    // Brings a top-level window to the front (there is no window manager to do it).
    void Raise(Window w);
    // Asks a top-level window to close, as a window manager's close button does (WM_DELETE_WINDOW).
    void AskToClose(Window w);
    void Click(int x, int y, int button = 1);
    // A drag through the points with the button held, pressed at the first and released at the last.
    void Drag(const std::vector<std::pair<int, int>>& points, int button = 1);
    // Presses and releases a key, holding the modifiers (for example XK_Control_L) around it; the
    // shift key is added when the keysym sits on the shifted level of its key.
    bool Key(KeySym key, std::initializer_list<KeySym> modifiers = {});
    // Printable ASCII, '\n' as Return and '\t' as Tab; false (after typing what came before) at
    // the first character the keyboard map cannot produce.
    bool Type(const std::string& text);

    // The whole screen, or the part of it one window covers; a null image on failure.
    QImage Capture(std::optional<Window> window = std::nullopt);

private:
    void Sync();
    void ForEachViewable(const std::function<bool(Window, long pid)>& visit);

    Display* display_ = nullptr;
};

// Number of distinct colours in a rectangle of a picture (clipped to it): a blank or single-colour
// area has one, a drawn window many.
int DistinctColours(const QImage& image, const TScreenRect& area);

}  // namespace orb::test
