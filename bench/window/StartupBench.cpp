// Times start-up from exec: until the program's main window is mapped (seen on the X server),
// and with --hidden until its shortcuts are registered (reported by the program on a pipe).
// Each run is paired with the bare Qt program, in alternation, so both see the same machine.
//   startup_bench PROGRAM BARE [RUNS]
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long long nowNs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

std::string g_home;
const char *g_program = nullptr;
// Milliseconds after exec at which each start-up step the program reports was done, per run.
std::map<std::string, std::vector<double>> g_steps;

// Reads the "NAME <ns>" lines the child wrote and files them under g_steps.
void collectSteps(int fd, long long start, const char *prefix)
{
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, size_t(n));
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos)
            break;
        char name[64];
        long long ns = 0;
        if (sscanf(text.c_str() + at, "%63s %lld", name, &ns) == 2)
            g_steps[std::string(prefix) + name].push_back(double(ns - start) / 1e6);
        at = end + 1;
    }
}

pid_t launch(const char *program, bool hidden, int reportFd)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    setenv("HOME", g_home.c_str(), 1);
    setenv("XDG_DATA_HOME", (g_home + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_home + "/config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (g_home + "/cache").c_str(), 1);
    if (reportFd >= 0)
        setenv("ORVEL_STARTUP_REPORT_FD", std::to_string(reportFd).c_str(), 1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    if (hidden)
        execl(program, program, "--hidden", nullptr);
    else
        execl(program, program, nullptr);
    _exit(127);
}

void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

long windowPid(xcb_connection_t *c, xcb_window_t w, xcb_atom_t pidAtom)
{
    xcb_get_property_reply_t *r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    long pid = -1;
    if (r && xcb_get_property_value_length(r) == 4)
        pid = *static_cast<uint32_t *>(xcb_get_property_value(r));
    free(r);
    return pid;
}

// Milliseconds from exec until a top-level window of the child is mapped; -1 on time-out.
double timeToWindow(const char *program)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID");
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const long long start = nowNs();
    const pid_t pid = launch(program, false, fds[1]);
    close(fds[1]);
    // A reparenting window manager maps its frame on the root; remember which client it holds.
    std::map<xcb_window_t, xcb_window_t> clientOfFrame;
    double result = -1;
    pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
    while (result < 0 && nowNs() - start < 10000000000LL) {
        xcb_generic_event_t *e = xcb_poll_for_event(c);
        if (!e) {
            poll(&p, 1, 100);
            continue;
        }
        const long long at = nowNs();
        switch (e->response_type & 0x7f) {
        case XCB_REPARENT_NOTIFY: {
            auto *r = reinterpret_cast<xcb_reparent_notify_event_t *>(e);
            clientOfFrame[r->parent] = r->window;
            break;
        }
        case XCB_MAP_NOTIFY: {
            auto *m = reinterpret_cast<xcb_map_notify_event_t *>(e);
            if (m->override_redirect)
                break;
            const auto it = clientOfFrame.find(m->window);
            const xcb_window_t client = it == clientOfFrame.end() ? m->window : it->second;
            if (windowPid(c, client, pidAtom) == pid)
                result = double(at - start) / 1e6;
            break;
        }
        default:
            break;
        }
        free(e);
    }
    // The steps up to the first picture are written by now; later ones may still come.
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    collectSteps(fds[0], start, program == g_program ? "" : "bare ");
    close(fds[0]);
    stop(pid);
    xcb_disconnect(c);
    return result;
}

// Milliseconds from exec until the child reports its shortcuts registered; -1 on time-out.
double timeToShortcuts(const char *program)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const long long start = nowNs();
    const pid_t pid = launch(program, true, fds[1]);
    close(fds[1]);
    double result = -1;
    char line[1024] = {};
    size_t used = 0;
    pollfd p{fds[0], POLLIN, 0};
    while (result < 0 && nowNs() - start < 10000000000LL && poll(&p, 1, 100) >= 0) {
        if (!(p.revents & POLLIN))
            continue;
        const ssize_t n = read(fds[0], line + used, sizeof line - 1 - used);
        if (n <= 0)
            break;
        used += size_t(n);
        // The program reports other steps too; only a whole "shortcuts" line counts.
        long long at = 0;
        const char *step = strstr(line, "shortcuts ");
        if (step && (step == line || step[-1] == '\n') && strchr(step, '\n') && sscanf(step, "shortcuts %lld", &at) == 1)
            result = double(at - start) / 1e6;
    }
    close(fds[0]);
    stop(pid);
    return result;
}

double median(std::vector<double> v)
{
    v.erase(std::remove(v.begin(), v.end(), -1.0), v.end());
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void prepareHome()
{
    char pattern[] = "/tmp/orvel-startup-bench.XXXXXX";
    g_home = mkdtemp(pattern);
    // A finished onboarding: the window opens on the sections, as on every start but the first.
    const std::string config = g_home + "/config/Orvel Raza";
    std::string mk = "mkdir -p '" + config + "'";
    if (system(mk.c_str()) != 0)
        std::exit(1);
    FILE *f = fopen((config + "/OrvelPlus.conf").c_str(), "w");
    fputs("[General]\nonboardingComplete=true\n", f);
    fclose(f);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s PROGRAM BARE [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? atoi(argv[3]) : 15;
    prepareHome();
    g_program = argv[1];
    // One unmeasured start of each: the data folder is made and the page cache warmed.
    timeToWindow(argv[1]);
    timeToWindow(argv[2]);

    g_steps.clear();
    std::vector<double> window, bareWindow, shortcuts, bareShortcuts;
    for (int i = 0; i < runs; ++i) {
        window.push_back(timeToWindow(argv[1]));
        bareWindow.push_back(timeToWindow(argv[2]));
        shortcuts.push_back(timeToShortcuts(argv[1]));
        bareShortcuts.push_back(timeToShortcuts(argv[2]));
    }
    const double w = median(window), bw = median(bareWindow), s = median(shortcuts), bs = median(bareShortcuts);
    printf("runs: %d (medians, ms)\n", runs);
    printf("exec -> main window mapped:       program %7.1f   bare Qt window %7.1f   difference %+7.1f\n", w, bw, w - bw);
    printf("exec -> shortcuts registered (--hidden): program %7.1f   bare Qt grabs %7.1f   difference %+7.1f\n", s, bs,
           s - bs);
    printf("steps before the window maps (ms after exec):");
    for (const auto &[name, at] : g_steps)
        printf("  %s %.1f", name.c_str(), median(at));
    printf("\n");
    std::string rm = "rm -rf '" + g_home + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
