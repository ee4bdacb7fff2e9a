// Starts a program on the X display in $DISPLAY and prints, on one line, how many milliseconds
// passed until it mapped its first top-level window and its resident memory in KiB once it has
// sat idle for a while. With --maps FILE, the program's mapped files at that moment are written
// to FILE, to see what takes the memory.
//
// Usage: tevrin-bench-window-start [--idle MS] [--maps FILE] PROGRAM [ARGUMENTS...]
//
// Meant for a display of its own (Xvfb) with no window manager: the first window mapped on it
// after the start is taken to be the program's.
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

bool copyFile(const std::string &from, const std::string &to)
{
    std::ifstream in(from);
    std::ofstream out(to);
    out << in.rdbuf();
    return in && out;
}

int fail(const char *what)
{
    std::fprintf(stderr, "tevrin-bench-window-start: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    int idleMs = 3000;
    const char *mapsFile = nullptr;
    int first = 1;
    for (; first < argc && argv[first][0] == '-'; first += 2) {
        if (first + 1 >= argc)
            return fail("an option lacks its value");
        if (std::strcmp(argv[first], "--idle") == 0)
            idleMs = std::atoi(argv[first + 1]);
        else if (std::strcmp(argv[first], "--maps") == 0)
            mapsFile = argv[first + 1];
        else
            return fail("unknown option");
    }
    if (first >= argc)
        return fail("usage: tevrin-bench-window-start [--idle MS] [--maps FILE] PROGRAM [ARGS...]");

    xcb_connection_t *x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x))
        return fail("cannot open the display");
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    // Checked, so that the selection is in force before the program starts.
    if (xcb_generic_error_t *error = xcb_request_check(
            x, xcb_change_window_attributes_checked(x, root, XCB_CW_EVENT_MASK, &mask))) {
        std::free(error);
        return fail("cannot watch the root window");
    }

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0)
        return fail("cannot fork");
    if (child == 0) {
        close(xcb_get_file_descriptor(x));
        execvp(argv[first], argv + first);
        std::perror(argv[first]);
        _exit(127);
    }

    const auto deadline = start + std::chrono::seconds(30);
    double mappedMs = -1;
    pollfd fd { xcb_get_file_descriptor(x), POLLIN, 0 };
    while (mappedMs < 0 && std::chrono::steady_clock::now() < deadline) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(x)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY
                && !reinterpret_cast<xcb_map_notify_event_t *>(event)->override_redirect
                && mappedMs < 0) {
                mappedMs = std::chrono::duration<double, std::milli>(
                    std::chrono::steady_clock::now() - start)
                               .count();
            }
            std::free(event);
        }
        if (mappedMs < 0 && poll(&fd, 1, 100) < 0 && errno != EINTR)
            break;
        if (waitpid(child, nullptr, WNOHANG) == child)
            return fail("the program ended before it showed a window");
    }

    int status = 1;
    long rss = -1;
    if (mappedMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(idleMs));
        rss = residentKiB(child);
        if (mapsFile && !copyFile("/proc/" + std::to_string(child) + "/maps", mapsFile))
            std::fprintf(stderr, "tevrin-bench-window-start: cannot write %s\n", mapsFile);
        std::printf("%.1f %ld\n", mappedMs, rss);
        status = 0;
    } else {
        std::fprintf(stderr, "tevrin-bench-window-start: no window within 30 s\n");
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    xcb_disconnect(x);
    return rss >= 0 ? status : 1;
}
