// Searching as a user meets it, measured from outside the program: the staged program runs on an X
// server (a virtual one, bench/run_search_window_bench.sh) over a store of a million nodes; this
// X client types into its search field with XTest, sees the tree change through Damage events on
// the program's window, and keeps sending _NET_WM_PING to the window: the program answers from
// its window thread, so the longest round trip is the longest the window stood frozen.
//
// Prints, per keystroke, the time from the key to the tree's change on screen and the longest
// ping round trip meanwhile, then medians and the worst; and the program's resident memory at
// start, after each search and after clearing it. Never passes or fails on speed.

#include "bench_common.h"
#include "sample_catalog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using mwdx::bench::MedianOf;

constexpr double kTargetKeyToTreeMs = 100;
constexpr double kTargetFrozenMs = 50;
constexpr double kTargetMemoryRatio = 1.10;

// The words of the in-process search benchmark, typed a character at a time, each followed by
// Escape: a few thousand to nearly a million matches.
const std::vector<std::string> kWords = {"minutes", "2015-04", "Review", "会议记录"};

// Keysyms of the keys besides the typed characters.
constexpr std::uint32_t kKeysymEscape = 0xff1b;
constexpr std::uint32_t kKeysymControlL = 0xffe3;
constexpr std::uint32_t kKeysymF = 'f';

// The program under measurement, ended when the benchmark gives up.
pid_t g_program = 0;

[[noreturn]] void Fail(const std::string& what) {
    if (g_program > 0) {
        ::kill(g_program, SIGKILL);
        ::waitpid(g_program, nullptr, 0);
    }
    std::fflush(stdout);
    std::fprintf(stderr, "\nsearch_window_bench: FATAL: %s\n", what.c_str());
    std::exit(1);
}

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The characters of a UTF-8 word with their code points.
std::vector<std::pair<std::string, char32_t>> Characters(const std::string& word) {
    std::vector<std::pair<std::string, char32_t>> out;
    for (std::size_t i = 0; i < word.size();) {
        const auto lead = static_cast<unsigned char>(word[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            code = (code << 6) | (static_cast<unsigned char>(word[i + k]) & 0x3F);
        }
        out.emplace_back(word.substr(i, length), code);
        i += length;
    }
    return out;
}

// X's keysym for a character: Latin-1 as it is, everything else in the Unicode range.
std::uint32_t KeysymOf(char32_t code) {
    return code < 0x100 ? static_cast<std::uint32_t>(code) : 0x01000000u | static_cast<std::uint32_t>(code);
}

double ResidentMb(pid_t pid) {
    const double mb = mwdx::bench::ResidentMb(pid);
    if (mb <= 0) {
        Fail("no VmRSS for the program (did it end?)");
    }
    return mb;
}

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    int Right() const { return x + w; }
    int Bottom() const { return y + h; }
    bool operator==(const Rect&) const = default;
    bool operator<(const Rect& o) const { return std::tie(x, y, w, h) < std::tie(o.x, o.y, o.w, o.h); }
};

struct Damage {
    Clock::time_point at;
    Rect area; // in the window
};

// ---- the X client ------------------------------------------------------------------------------

class XClient final {
public:
    XClient() {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection) != 0) {
            const char* display = std::getenv("DISPLAY");
            Fail("cannot connect to the X server (DISPLAY=" + std::string(display != nullptr ? display : "") + ")");
        }
        m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(m_connection, &xcb_damage_id);
        const xcb_query_extension_reply_t* test = xcb_get_extension_data(m_connection, &xcb_test_id);
        if (damage == nullptr || !damage->present || test == nullptr || !test->present) {
            Fail("the X server lacks the DAMAGE or the XTEST extension");
        }
        m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(m_connection, xcb_damage_query_version(m_connection, 1, 1), nullptr));
        free(xcb_test_get_version_reply(m_connection, xcb_test_get_version(m_connection, 2, 1), nullptr));
        m_wmProtocols = Atom("WM_PROTOCOLS");
        m_ping = Atom("_NET_WM_PING");
        m_wmPid = Atom("_NET_WM_PID");
        // Top-level windows appearing, and the answers to the pings, which go to the root window
        // for those who select its structure (Qt sends them so) or its substructure (as the
        // protocol suggests).
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_screen->root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
    }
    ~XClient() { xcb_disconnect(m_connection); }
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    int ScreenWidth() const { return m_screen->width_in_pixels; }
    int ScreenHeight() const { return m_screen->height_in_pixels; }

    // Finds a key for every keysym, giving the ones the keyboard lacks (Chinese characters) keys
    // of their own that have none. Done before the program starts, so it reads the finished map.
    void PrepareKeys(const std::vector<std::uint32_t>& keysyms) {
        const xcb_setup_t* setup = xcb_get_setup(m_connection);
        const int first = setup->min_keycode;
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto* reply = xcb_get_keyboard_mapping_reply(
            m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, static_cast<std::uint8_t>(count)),
            nullptr);
        if (reply == nullptr) {
            Fail("cannot read the keyboard mapping");
        }
        const int per = reply->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
        std::vector<int> spare;
        for (int k = 0; k < count; ++k) {
            bool empty = true;
            for (int c = 0; c < per; ++c) {
                const xcb_keysym_t sym = syms[k * per + c];
                empty = empty && sym == 0;
                if (c < 2 && sym != 0 && !m_keys.contains(sym)) {
                    m_keys[sym] = {static_cast<std::uint8_t>(first + k), c == 1};
                }
            }
            if (empty && first + k > 8) {
                spare.push_back(first + k);
            }
        }
        free(reply);
        m_keys.erase(0);
        if (!m_keys.contains(0xffe1)) {
            Fail("the keyboard has no Shift key");
        }
        for (const std::uint32_t sym : keysyms) {
            if (m_keys.contains(sym) && !m_keys[sym].shift) {
                continue;
            }
            if (spare.empty()) {
                Fail("no free key for a character");
            }
            const auto code = static_cast<std::uint8_t>(spare.back());
            spare.pop_back();
            std::vector<xcb_keysym_t> row(static_cast<std::size_t>(per), 0);
            row[0] = sym;
            if (per > 1) {
                row[1] = sym;
            }
            xcb_change_keyboard_mapping(m_connection, 1, code, static_cast<std::uint8_t>(per), row.data());
            m_keys[sym] = {code, false};
        }
        xcb_flush(m_connection);
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); // a round trip
    }

    // A key pressed and let go (with Control or Shift held where asked or needed), as a keyboard
    // would, all in one flush.
    void Key(std::uint32_t keysym, bool control = false) {
        const auto found = m_keys.find(keysym);
        if (found == m_keys.end()) {
            Fail("no key for keysym " + std::to_string(keysym));
        }
        const std::uint8_t shift = m_keys.at(0xffe1).code;
        const std::uint8_t ctrl = control ? m_keys.at(kKeysymControlL).code : 0;
        if (ctrl != 0) {
            Fake(XCB_KEY_PRESS, ctrl);
        }
        if (found->second.shift) {
            Fake(XCB_KEY_PRESS, shift);
        }
        Fake(XCB_KEY_PRESS, found->second.code);
        Fake(XCB_KEY_RELEASE, found->second.code);
        if (found->second.shift) {
            Fake(XCB_KEY_RELEASE, shift);
        }
        if (ctrl != 0) {
            Fake(XCB_KEY_RELEASE, ctrl);
        }
        xcb_flush(m_connection);
    }

    void MovePointer(int x, int y) {
        xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_screen->root,
                            static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), 0);
        xcb_flush(m_connection);
    }

    void Focus(xcb_window_t window) {
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
    }

    // From now on the damage to `window` is recorded, rectangle by rectangle.
    void WatchDamage(xcb_window_t window) {
        m_window = window;
        const xcb_damage_damage_t damage = xcb_generate_id(m_connection);
        xcb_damage_create(m_connection, damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        xcb_flush(m_connection);
    }

    // Pings the window every `intervalMs` from now on, between and during the waits.
    void StartPings(double intervalMs) {
        m_pingInterval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(intervalMs));
        m_nextPing = Clock::now();
    }

    // Handles events (and sends pings when due) until `done` holds or `timeoutMs` has passed;
    // false on the timeout.
    bool WaitUntil(const std::function<bool()>& done, double timeoutMs) {
        const Clock::time_point deadline =
            Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(timeoutMs));
        for (;;) {
            Drain();
            if (done()) {
                return true;
            }
            Clock::time_point now = Clock::now();
            if (m_window != 0 && m_pingInterval.count() > 0 && now >= m_nextPing) {
                SendPing(now);
                m_nextPing += m_pingInterval;
                if (m_nextPing < now) {
                    m_nextPing = now + m_pingInterval;
                }
                continue;
            }
            if (now >= deadline) {
                return false;
            }
            // Now and then even without events: the caller may watch something besides the server.
            Clock::time_point wake = std::min(deadline, now + std::chrono::milliseconds(50));
            if (m_window != 0 && m_pingInterval.count() > 0) {
                wake = std::min(wake, m_nextPing);
            }
            const double waitMs = std::max(0.0, MsBetween(now, wake));
            pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            timespec timeout{static_cast<time_t>(waitMs / 1000),
                             static_cast<long>(std::fmod(waitMs, 1000.0) * 1e6)};
            ::ppoll(&fd, 1, &timeout, nullptr);
            if (xcb_connection_has_error(m_connection) != 0) {
                Fail("the connection to the X server broke");
            }
        }
    }
    void Sleep(double ms) {
        WaitUntil([] { return false; }, ms);
    }

    // The first top-level window of process `pid` mapped since the client started, at least
    // `minSize` pixels each way; 0 while there is none.
    xcb_window_t MappedWindowOf(pid_t pid, int minSize) {
        for (const xcb_window_t window : m_mapped) {
            if (PidOf(window) == pid) {
                auto* geometry =
                    xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr);
                const bool large = geometry != nullptr && geometry->width >= minSize && geometry->height >= minSize;
                free(geometry);
                if (large) {
                    return window;
                }
            }
        }
        return 0;
    }
    // Every window of `pid` mapped since the client started.
    std::vector<xcb_window_t> MappedWindowsOf(pid_t pid) {
        std::vector<xcb_window_t> windows;
        for (const xcb_window_t window : m_mapped) {
            if (PidOf(window) == pid) {
                windows.push_back(window);
            }
        }
        return windows;
    }
    Rect Geometry(xcb_window_t window) {
        auto* geometry = xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr);
        if (geometry == nullptr) {
            Fail("the program's window went away");
        }
        const Rect rect{geometry->x, geometry->y, geometry->width, geometry->height};
        free(geometry);
        return rect;
    }

    const std::vector<Damage>& Damages() const { return m_damages; }

    // The pings sent at or after `from` and at or before `to`: how many, how many answered, and
    // the longest round trip (those still unanswered count as waiting until now).
    struct PingFigures {
        std::size_t sent = 0;
        std::size_t answered = 0;
        double longestMs = 0;
    };
    PingFigures Pings(Clock::time_point from, Clock::time_point to) const {
        PingFigures figures;
        const Clock::time_point now = Clock::now();
        for (const Ping& ping : m_pings) {
            if (ping.sent < from || ping.sent > to) {
                continue;
            }
            ++figures.sent;
            figures.answered += ping.answered ? 1 : 0;
            figures.longestMs = std::max(figures.longestMs, ping.answered ? ping.roundTripMs : MsBetween(ping.sent, now));
        }
        return figures;
    }
    // True when every ping sent before `before` has been answered.
    bool PingsAnsweredBefore(Clock::time_point before) {
        while (m_firstUnanswered < m_pings.size() && m_pings[m_firstUnanswered].answered) {
            ++m_firstUnanswered;
        }
        return m_firstUnanswered == m_pings.size() || m_pings[m_firstUnanswered].sent >= before;
    }
    std::size_t PingsAnswered() const { return m_answered; }

private:
    struct KeyCode {
        std::uint8_t code = 0;
        bool shift = false;
    };
    struct Ping {
        Clock::time_point sent;
        bool answered = false;
        double roundTripMs = 0;
    };

    xcb_atom_t Atom(const char* name) {
        auto* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        if (reply == nullptr) {
            Fail(std::string("cannot intern ") + name);
        }
        const xcb_atom_t atom = reply->atom;
        free(reply);
        return atom;
    }

    pid_t PidOf(xcb_window_t window) {
        auto* reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, m_wmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        pid_t pid = -1;
        if (reply != nullptr && xcb_get_property_value_length(reply) == 4) {
            pid = static_cast<pid_t>(*static_cast<const std::uint32_t*>(xcb_get_property_value(reply)));
        }
        free(reply);
        return pid;
    }

    void Fake(std::uint8_t type, std::uint8_t code) {
        xcb_test_fake_input(m_connection, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }

    void SendPing(Clock::time_point now) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = m_window;
        event.type = m_wmProtocols;
        event.data.data32[0] = m_ping;
        event.data.data32[1] = XCB_CURRENT_TIME;
        event.data.data32[2] = m_window;
        event.data.data32[3] = static_cast<std::uint32_t>(m_pings.size()); // which ping: comes back as sent
        xcb_send_event(m_connection, 0, m_window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(m_connection);
        m_pings.push_back({now});
    }

    void Drain() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const Clock::time_point now = Clock::now();
            const std::uint8_t type = event->response_type & 0x7f;
            if (type == m_damageEvent) {
                const auto* damage = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
                if (damage->drawable == m_window) {
                    m_damages.push_back({now, {damage->area.x, damage->area.y, damage->area.width, damage->area.height}});
                }
            } else if (type == XCB_MAP_NOTIFY) {
                m_mapped.push_back(reinterpret_cast<const xcb_map_notify_event_t*>(event)->window);
            } else if (type == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
                if (message->type == m_wmProtocols && message->data.data32[0] == m_ping &&
                    message->window == m_screen->root) {
                    const std::uint32_t which = message->data.data32[3];
                    if (which < m_pings.size() && !m_pings[which].answered) {
                        m_pings[which].answered = true;
                        m_pings[which].roundTripMs = MsBetween(m_pings[which].sent, now);
                        ++m_answered;
                    }
                }
            }
            free(event);
        }
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_screen_t* m_screen = nullptr;
    std::uint8_t m_damageEvent = 0;
    xcb_atom_t m_wmProtocols = 0, m_ping = 0, m_wmPid = 0;
    std::map<std::uint32_t, KeyCode> m_keys;
    xcb_window_t m_window = 0;
    std::vector<xcb_window_t> m_mapped;
    std::vector<Damage> m_damages;
    std::deque<Ping> m_pings;
    std::size_t m_answered = 0;
    std::size_t m_firstUnanswered = 0; // every ping before it has been answered
    Clock::duration m_pingInterval{};
    Clock::time_point m_nextPing;
};

// ---- the program -------------------------------------------------------------------------------

// Starts the program on the X server of DISPLAY, its output into `log`.
pid_t StartProgram(const fs::path& program, const fs::path& log) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        if (!text.starts_with("QT_QPA_PLATFORM=") && !text.starts_with("QT_QPA_PLATFORMTHEME=")) {
            environment.emplace_back(text);
        }
    }
    environment.emplace_back("QT_QPA_PLATFORM=xcb");
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        Fail("cannot start " + path + ": " + std::strerror(spawned));
    }
    return pid;
}

void StopProgram(pid_t pid) {
    g_program = 0;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return;
        }
        ::usleep(50000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// The store beside the program: the wide sample of `rows` nodes, with `home` as its Home Directory.
mwdx::bench::SampleStats MakeStore(const fs::path& programFolder, const fs::path& home, std::int64_t rows) {
    const fs::path db = programFolder / "mymwdx.db";
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        fs::remove(db.string() + suffix);
    }
    fs::create_directories(home);
    mwdx::bench::SampleStats stats;
    std::string error;
    if (!mwdx::bench::BuildSampleCatalog(db.string(), mwdx::bench::Shape::Wide, rows, &stats, &error)) {
        Fail("cannot build the sample store: " + error);
    }
    sqlite3* handle = nullptr;
    const std::string sql = "UPDATE SYS_CONFIG SET ROOT_DIR='" + home.string() + "';";
    if (sqlite3_open(db.c_str(), &handle) != SQLITE_OK ||
        sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail("cannot configure " + db.string());
    }
    sqlite3_close(handle);
    return stats;
}

// ---- the measurement ---------------------------------------------------------------------------

struct Options {
    fs::path program;
    fs::path workDir;
    std::int64_t rows = 1000000;
    int rounds = 3;
    double pingMs = 2;
    double quietMs = 400;
};

struct KeyFigures {
    std::string typed;
    double echoMs = -1; // the search field shows the key
    double treeMs = -1; // the tree's region changed
    double frozenMs = 0;
};

class Run final {
public:
    Run(XClient& x, pid_t pid, xcb_window_t window, const Options& options)
        : m_x(x), m_pid(pid), m_window(window), m_options(options) {}

    // Puts the keyboard into the search field (Control+F, the program's own key) and finds the
    // field's caret by its blinking: the tree is the region below it.
    void FocusSearchField() {
        const std::size_t from = m_x.Damages().size();
        m_x.Key(kKeysymF, true);
        m_x.Sleep(2200);
        std::map<Rect, int> seen;
        for (std::size_t i = from; i < m_x.Damages().size(); ++i) {
            const Rect& r = m_x.Damages()[i].area;
            if (r.w <= 16 && r.h >= 8 && r.h <= 64) {
                ++seen[r];
            }
        }
        int best = 0;
        for (const auto& [rect, count] : seen) {
            if (count > best) {
                best = count;
                m_caret = rect;
            }
        }
        if (best < 2) {
            Fail("cannot find the search field's caret blinking (is the window focused?)");
        }
    }
    void Refocus() {
        m_x.Key(kKeysymF, true);
        WaitQuiet();
    }
    const Rect& Caret() const { return m_caret; }

    // Below the search field, in its column: the tree (the search row is a line high; the
    // comment pane lies right of the whole column, and the count of matches right of the field).
    // The column is taken a few characters into the field: the caret's own rectangle may start
    // left of the tree's.
    bool InTree(const Rect& r) const {
        const int column = m_caret.Right() + 32;
        return r.x <= column && column < r.Right() && r.Bottom() > m_caret.Bottom() + m_caret.h;
    }
    // The search field's line, more than a caret.
    bool InField(const Rect& r) const {
        return r.y <= m_caret.Bottom() && r.Bottom() >= m_caret.y && r.w > m_caret.w + 2 && !InTree(r);
    }

    // Until the tree has not changed for a while and every ping is answered.
    void WaitQuiet() {
        const auto quiet = [&] {
            const Clock::time_point now = Clock::now();
            const Clock::time_point last = LastTreeDamage();
            return MsBetween(last, now) >= m_options.quietMs && MsBetween(m_started, now) >= m_options.quietMs &&
                   m_x.PingsAnsweredBefore(now - std::chrono::milliseconds(20));
        };
        m_started = Clock::now();
        if (!m_x.WaitUntil(quiet, 120000)) {
            const auto& all = m_x.Damages();
            const Rect last = all.empty() ? Rect{} : all.back().area;
            Fail("the window did not settle within two minutes (" + std::to_string(m_x.PingsAnswered()) +
                 " pings answered, " + std::to_string(all.size()) + " damage events, the last " +
                 std::to_string(last.x) + "," + std::to_string(last.y) + " " + std::to_string(last.w) + "x" +
                 std::to_string(last.h) + ")");
        }
    }

    KeyFigures Press(const std::string& label, std::uint32_t keysym) {
        WaitQuiet();
        KeyFigures figures;
        figures.typed = label;
        const std::size_t from = m_x.Damages().size();
        const Clock::time_point pressed = Clock::now();
        m_x.Key(keysym);
        std::optional<Clock::time_point> tree;
        const auto changed = [&] {
            for (std::size_t i = from; i < m_x.Damages().size(); ++i) {
                const Damage& d = m_x.Damages()[i];
                if (figures.echoMs < 0 && InField(d.area)) {
                    figures.echoMs = MsBetween(pressed, d.at);
                }
                if (InTree(d.area)) {
                    tree = d.at;
                    return true;
                }
            }
            return false;
        };
        if (!m_x.WaitUntil(changed, 120000)) {
            Fail("the tree did not change within two minutes of typing " + label);
        }
        figures.treeMs = MsBetween(pressed, *tree);
        WaitQuiet();
        // Every ping sent from the key until the tree's last change for it (a later repaint of the
        // same result counts too) has been answered by now.
        Clock::time_point last = *tree;
        for (std::size_t i = from; i < m_x.Damages().size(); ++i) {
            if (InTree(m_x.Damages()[i].area)) {
                last = std::max(last, m_x.Damages()[i].at);
            }
        }
        figures.frozenMs = m_x.Pings(pressed, last).longestMs;
        return figures;
    }

private:
    Clock::time_point LastTreeDamage() const {
        const auto& all = m_x.Damages();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (InTree(it->area)) {
                return it->at;
            }
        }
        return {};
    }

    XClient& m_x;
    pid_t m_pid;
    xcb_window_t m_window;
    const Options& m_options;
    Rect m_caret;
    Clock::time_point m_started;
};

constexpr const char* kUsage =
    "marrowdex_search_window_bench --program=PATH --work-dir=DIR [--rows=N] [--rounds=N] [--ping-ms=MS]\n"
    "                                     [--quiet-ms=MS]\n"
    "  on the X server of DISPLAY (a virtual one: bench/run_search_window_bench.sh)\n"
    "  --program=PATH  the staged program; its store (mymwdx.db beside it) is replaced by the sample\n"
    "  --work-dir=DIR  an existing folder: the sample's Home Directory and the program's output go there\n"
    "  --rows=N        nodes of the sample store (default 1000000, the wide shape)\n"
    "  --rounds=N      times the keystrokes are typed in the one program (default 3)\n"
    "  --ping-ms=MS    a ping every MS milliseconds (default 2)\n"
    "  --quiet-ms=MS   how long the tree must stay unchanged before the next key (default 400)";

Options ParseOptions(int argc, char** argv) {
    Options options;
    std::string program;
    mwdx::bench::Options parser(kUsage);
    parser.Text("program", program, true)
        .Folder("work-dir", options.workDir)
        .Number("rows", options.rows)
        .Number("rounds", options.rounds)
        .Number("ping-ms", options.pingMs)
        .Number("quiet-ms", options.quietMs);
    if (!parser.Parse(argc, argv)) {
        std::exit(2);
    }
    options.program = fs::weakly_canonical(program);
    options.workDir = fs::weakly_canonical(options.workDir);
    return options;
}

// `text` padded with spaces to `width` columns of a terminal, where Chinese characters take two.
std::string Padded(const std::string& text, std::size_t width) {
    std::size_t columns = 0;
    for (const auto& [character, code] : Characters(text)) {
        columns += code >= 0x1100 ? 2 : 1;
    }
    return text + std::string(columns < width ? width - columns : 0, ' ');
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    if (!fs::is_regular_file(options.program)) {
        Fail("no program at " + options.program.string());
    }
    std::printf("Marrowdex search in the window, measured from outside the program: keys typed with XTest into\n"
                "the search field, the tree's change seen through Damage events on the window, the longest\n"
                "_NET_WM_PING round trip (a ping every %.0f ms) as the frozen frame\n\n",
                options.pingMs);

    const mwdx::bench::SampleStats stats =
        MakeStore(options.program.parent_path(), options.workDir / "home", options.rows);
    std::printf("store: %lld nodes (wide sample, %lld catalogs), %.1f MB, built in %.1f s\n",
                static_cast<long long>(stats.rows), static_cast<long long>(stats.catalogs),
                static_cast<double>(stats.fileBytes) / 1e6, stats.seconds);

    XClient x;
    std::vector<std::uint32_t> keysyms = {kKeysymEscape, kKeysymControlL, kKeysymF};
    for (const std::string& word : kWords) {
        for (const auto& [text, code] : Characters(word)) {
            keysyms.push_back(KeysymOf(code));
        }
    }
    x.PrepareKeys(keysyms);

    const fs::path log = options.workDir / "program.log";
    const Clock::time_point spawned = Clock::now();
    const pid_t pid = StartProgram(options.program, log);
    g_program = pid;
    xcb_window_t window = 0;
    const bool mapped = x.WaitUntil(
        [&] {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                Fail("the program ended at start; its output is in " + log.string());
            }
            window = x.MappedWindowOf(pid, 200);
            return window != 0;
        },
        300000);
    if (!mapped) {
        StopProgram(pid);
        Fail("the program showed no window within five minutes");
    }
    const double mappedMs = MsBetween(spawned, Clock::now());
    x.WatchDamage(window);
    x.StartPings(options.pingMs);
    const Rect geometry = x.Geometry(window);
    // The keyboard to the program's window, the pointer out of its way.
    x.MovePointer(x.ScreenWidth() - 1, x.ScreenHeight() - 1);
    x.Focus(window);

    Run run(x, pid, window, options);
    run.WaitQuiet();
    x.Sleep(1500); // past the window's own start-up timer
    run.WaitQuiet();
    if (x.MappedWindowsOf(pid).size() != 1) {
        StopProgram(pid);
        Fail("the program opened another window at start (a message?); its output is in " + log.string());
    }
    const double startMb = ResidentMb(pid);
    std::printf("window %dx%d mapped %.2f s after the program was started; resident %.1f MB once it settled\n",
                geometry.w, geometry.h, mappedMs / 1000, startMb);

    run.FocusSearchField();
    std::printf("search field's caret at (%d,%d) %dx%d; the tree is the region below it\n\n", run.Caret().x,
                run.Caret().y, run.Caret().w, run.Caret().h);

    std::vector<double> keyMs;
    std::vector<double> frozenMs;
    std::vector<double> escapeMs;
    std::vector<double> escapeFrozenMs;
    std::vector<std::pair<std::string, double>> memory;
    double firstKeyMs = 0;
    double firstFrozenMs = 0;
    std::printf("%-6s %-14s %12s %12s %16s\n", "round", "typed", "echo ms", "tree ms", "longest ping ms");
    for (int round = 1; round <= options.rounds; ++round) {
        for (const std::string& word : kWords) {
            std::string typed;
            for (const auto& [text, code] : Characters(word)) {
                typed += text;
                const KeyFigures figures = run.Press(typed, KeysymOf(code));
                std::printf("%-6d %s %12.1f %12.1f %16.1f\n", round, Padded(typed, 14).c_str(), figures.echoMs,
                            figures.treeMs, figures.frozenMs);
                std::fflush(stdout);
                if (round == 1 && keyMs.empty() && firstKeyMs == 0) {
                    // The first key also folds every name and comment once.
                    firstKeyMs = figures.treeMs;
                    firstFrozenMs = figures.frozenMs;
                    continue;
                }
                keyMs.push_back(figures.treeMs);
                frozenMs.push_back(figures.frozenMs);
            }
            memory.emplace_back("after " + Quoted(word), ResidentMb(pid));
            const KeyFigures escape = run.Press("Escape", kKeysymEscape);
            std::printf("%-6d %-14s %12s %12.1f %16.1f\n", round, "Escape", "", escape.treeMs, escape.frozenMs);
            escapeMs.push_back(escape.treeMs);
            escapeFrozenMs.push_back(escape.frozenMs);
            memory.emplace_back("after Escape", ResidentMb(pid));
            run.Refocus();
        }
    }

    // The program keeps the folded names while the user searches again and again, and gives them
    // back once the field has been left alone for ten seconds.
    ::sleep(12);
    memory.emplace_back("12 s after the last Escape", ResidentMb(pid));

    std::printf("\nresident memory (VmRSS), MB:\n  %-24s %8.1f\n", "at start", startMb);
    double largest = 0;
    for (const auto& [when, mb] : memory) {
        std::printf("  %s %8.1f  %5.2f of start\n", Padded(when, 24).c_str(), mb, mb / startMb);
        largest = std::max(largest, mb);
    }
    const double cleared = memory.back().second;
    std::printf("  largest after a search %.1f MB (%.2f), once the field is left alone %.1f MB (%.2f): target at most "
                "%.2f: %s\n",
                largest, largest / startMb, cleared, cleared / startMb, kTargetMemoryRatio,
                cleared / startMb <= kTargetMemoryRatio ? "ok" : "MISSED");

    const double worstKey = *std::max_element(keyMs.begin(), keyMs.end());
    const double worstFrozen = std::max(firstFrozenMs, *std::max_element(frozenMs.begin(), frozenMs.end()));
    std::printf("\nfirst key (it also folds every name and comment once): %.1f ms to the tree, longest ping %.1f ms\n",
                firstKeyMs, firstFrozenMs);
    std::printf("the other %zu keys: key to tree median %.1f ms, worst %.1f ms (target: median at most %.0f): %s\n",
                keyMs.size(), MedianOf(keyMs), worstKey, kTargetKeyToTreeMs,
                MedianOf(keyMs) <= kTargetKeyToTreeMs ? "ok" : "MISSED");
    std::printf("  longest ping per key: median %.1f ms, worst %.1f ms (first key included) (target: none over %.0f): "
                "%s\n",
                MedianOf(frozenMs), worstFrozen, kTargetFrozenMs, worstFrozen <= kTargetFrozenMs ? "ok" : "MISSED");
    std::printf("Escape (the whole tree again): median %.1f ms, worst %.1f ms; longest ping median %.1f ms, worst "
                "%.1f ms\n",
                MedianOf(escapeMs), *std::max_element(escapeMs.begin(), escapeMs.end()), MedianOf(escapeFrozenMs),
                *std::max_element(escapeFrozenMs.begin(), escapeFrozenMs.end()));
    std::printf("%zu pings answered\n", x.PingsAnswered());
    StopProgram(pid);
    return 0;
}
