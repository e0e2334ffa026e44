// The yardstick for start-up: a Qt Widgets window with one line of text, or with --hidden no
// window and the four default shortcut grabs, reported like the program reports its own.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

void report(const char *what)
{
    const char *fd = std::getenv("ORVEL_STARTUP_REPORT_FD");
    if (!fd)
        return;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%s %lld\n", what, (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    [[maybe_unused]] auto written = ::write(std::atoi(fd), line, size_t(n));
}

void grabDefaultShortcuts()
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(c);
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, XK_space);
    const uint16_t alt = XCB_MOD_MASK_1, ctrl = XCB_MOD_MASK_CONTROL, shift = XCB_MOD_MASK_SHIFT;
    for (uint16_t mods : {uint16_t(alt), uint16_t(alt | ctrl), uint16_t(alt | shift), uint16_t(alt | ctrl | shift)})
        for (uint16_t lock : {uint16_t(0), uint16_t(XCB_MOD_MASK_2), uint16_t(XCB_MOD_MASK_LOCK),
                              uint16_t(XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK)})
            free(xcb_request_check(c, xcb_grab_key_checked(c, 1, root, mods | lock, codes[0], XCB_GRAB_MODE_ASYNC,
                                                           XCB_GRAB_MODE_ASYNC)));
    free(codes);
    xcb_key_symbols_free(symbols);
}

} // namespace

int main(int argc, char **argv)
{
    report("main");
    QApplication app(argc, argv);
    report("application");
    if (QApplication::arguments().contains(QStringLiteral("--hidden"))) {
        grabDefaultShortcuts();
        report("shortcuts");
        return app.exec();
    }
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.setCentralWidget(new QLabel(QStringLiteral("A bare Qt window"), &window));
    window.resize(1100, 720);
    window.show();
    return app.exec();
}
