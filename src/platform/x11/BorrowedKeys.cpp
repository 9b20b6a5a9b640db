// SPDX-License-Identifier: GPL-3.0-or-later
#include "BorrowedKeys.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "XcbReply.h"

namespace tarn::x11 {
namespace {

constexpr char kProperty[] = "_TARN_BORROWED_KEYS";
// Far more than 256 lines of the longest symbols a keycode can have.
constexpr std::uint32_t kMaxLongs = 1 << 20;

std::string hostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    // A blank would split the line.
    std::string text(name);
    std::replace(text.begin(), text.end(), ' ', '_');
    return text;
}

// When the process started, in clock ticks since boot, and whether it has
// ended (a zombie); 0 when there is no such process.
unsigned long long startOf(long pid, bool* ended = nullptr) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The name in parentheses may hold blanks and parentheses itself.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string state, field;
    fields >> state;
    // The start time is the 22nd field; the state was the 3rd.
    for (int i = 4; i < 22 && fields >> field; ++i) {
    }
    unsigned long long start = 0;
    if (!(fields >> start)) return 0;
    if (ended) *ended = state == "Z" || state == "X";
    return start;
}

// A number alone may have passed to another process since, and a process
// that has ended but not been collected still answers kill(): the start time
// tells the owner apart.
bool ownerGone(long pid, unsigned long long start) {
    if (pid <= 0) return false;
    bool ended = false;
    const unsigned long long now = startOf(pid, &ended);
    if (now == 0) return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
    return ended || (start != 0 && now != start);
}

std::string toHex(const BorrowedKeys::Symbols& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

bool fromHex(const std::string& text, BorrowedKeys::Symbols& bytes) {
    if (text.size() % 2) return false;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = text.substr(i, 2);
        const unsigned long value = std::strtoul(pair.c_str(), &end, 16);
        if (*end) return false;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return true;
}

// The wire form of one keycode's symbols: an 8-byte header whose last two
// bytes count the 4-byte symbols after it.
bool wellFormed(const BorrowedKeys::Symbols& bytes) {
    if (bytes.size() < 8) return false;
    std::uint16_t count;
    std::memcpy(&count, bytes.data() + 6, 2);
    return bytes.size() == 8 + 4u * count;
}

}  // namespace

BorrowedKeys::BorrowedKeys(xcb_connection_t* connection, xcb_window_t root)
    : c_(connection),
      root_(root),
      host_(hostName()),
      pid_(static_cast<long>(::getpid())),
      start_(startOf(pid_)) {
    const Reply<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(
        c_, xcb_intern_atom(c_, 0, sizeof kProperty - 1, kProperty), nullptr)};
    if (reply) atom_ = reply->atom;
}

std::vector<BorrowedKeys::Line> BorrowedKeys::readLines() {
    std::vector<Line> lines;
    const Reply<xcb_get_property_reply_t> reply{xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, root_, atom_, XCB_ATOM_STRING, 0, kMaxLongs), nullptr)};
    if (!reply) return lines;
    std::string text;
    if (reply->format == 8) {
        text.assign(static_cast<const char*>(xcb_get_property_value(reply.get())),
                    static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    }
    std::istringstream in(text);
    std::string row;
    while (std::getline(in, row)) {
        std::istringstream fields(row);
        Line line;
        int keycode = 0;
        std::string owner, hex;
        // A line that cannot be read names nothing to give back; it goes.
        if (!(fields >> line.host >> owner >> keycode >> hex)) continue;
        char* end = nullptr;
        line.pid = std::strtol(owner.c_str(), &end, 10);
        if (*end == ':') line.start = std::strtoull(end + 1, &end, 10);
        if (*end) continue;
        if (keycode == kTypist && hex == "-") {
            lines.push_back(std::move(line));
        } else if (keycode >= 8 && keycode <= 255 && fromHex(hex, line.symbols) &&
                   wellFormed(line.symbols)) {
            line.keycode = static_cast<xcb_keycode_t>(keycode);
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

void BorrowedKeys::writeLines(const std::vector<Line>& lines) {
    if (lines.empty()) {
        xcb_delete_property(c_, root_, atom_);
        return;
    }
    std::string text;
    for (const Line& line : lines) {
        text += line.host + ' ' + std::to_string(line.pid) + ':' + std::to_string(line.start) +
                ' ' + std::to_string(line.keycode) + ' ' +
                (line.keycode == kTypist ? std::string("-") : toHex(line.symbols)) + '\n';
    }
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root_, atom_, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(text.size()), text.data());
}

template <class Change>
void BorrowedKeys::update(Change&& change) {
    if (atom_ == XCB_NONE) return;
    xcb_grab_server(c_);
    std::vector<Line> lines = readLines();
    change(lines);
    writeLines(lines);
    xcb_ungrab_server(c_);
    sync(c_);
}

void BorrowedKeys::record(const std::vector<std::pair<xcb_keycode_t, Symbols>>& keycodes) {
    if (keycodes.empty()) return;
    update([&](std::vector<Line>& lines) {
        for (const auto& [keycode, symbols] : keycodes)
            lines.push_back(Line{host_, pid_, start_, keycode, symbols});
    });
}

void BorrowedKeys::release(const std::vector<xcb_keycode_t>& keycodes) {
    if (keycodes.empty()) return;
    update([&](std::vector<Line>& lines) {
        lines.erase(std::remove_if(lines.begin(), lines.end(),
                                   [&](const Line& line) {
                                       return line.keycode != kTypist && mine(line) &&
                                              std::count(keycodes.begin(), keycodes.end(),
                                                         line.keycode);
                                   }),
                    lines.end());
    });
}

BorrowedKeys::Abandoned BorrowedKeys::takeAbandoned() {
    Abandoned abandoned;
    update([&](std::vector<Line>& lines) {
        auto gone = [&](const Line& line) {
            return line.host == host_ && !mine(line) && ownerGone(line.pid, line.start);
        };
        // Another run typing now holds keys of its own: the keys of one
        // that ended are let go once it is alone.
        const bool othersType = std::any_of(lines.begin(), lines.end(), [&](const Line& line) {
            return line.keycode == kTypist && !mine(line) && !gone(line);
        });
        auto taken = [&](const Line& line) {
            return gone(line) && !(line.keycode == kTypist && othersType);
        };
        for (const Line& line : lines) {
            if (!taken(line)) continue;
            if (line.keycode == kTypist)
                abandoned.keysMayBeDown = true;
            else
                abandoned.keycodes.emplace_back(line.keycode, line.symbols);
        }
        lines.erase(std::remove_if(lines.begin(), lines.end(), taken), lines.end());
    });
    return abandoned;
}

bool BorrowedKeys::othersBorrow() {
    const std::vector<Line> lines = readLines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const Line& line) { return line.keycode != kTypist && !mine(line); });
}

void BorrowedKeys::recordTypist() {
    update([&](std::vector<Line>& lines) {
        lines.push_back(Line{host_, pid_, start_, kTypist, {}});
    });
}

void BorrowedKeys::releaseTypist() {
    update([&](std::vector<Line>& lines) {
        lines.erase(
            std::remove_if(lines.begin(), lines.end(),
                           [&](const Line& line) { return line.keycode == kTypist && mine(line); }),
            lines.end());
    });
}

bool BorrowedKeys::mine(const Line& line) const {
    return line.host == host_ && line.pid == pid_ && (line.start == 0 || line.start == start_);
}

}  // namespace tarn::x11
