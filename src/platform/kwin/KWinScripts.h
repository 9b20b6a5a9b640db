// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// KWin scripts run over the session bus: what Tarn knows of windows on
// Plasma (Wayland) comes from small JavaScript programs that KWin runs
// inside itself, since KWin gives ordinary clients no protocol for other
// programs' windows. A script is written to a private file, loaded with
// org.kde.kwin.Scripting.loadScript, run, and calls back on Tarn's own
// connection with what it found; only calls from KWin's own connection are
// taken. Every wait is bounded: a KWin without scripting, or a script that
// never answers, costs a time-out, never a hang.
//
// The connection has a GLib main context of its own, iterated only while
// this class waits, so that answers are handled here and never by the event
// loop of the program around it.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

namespace tarn::kwin {

struct VariantUnref {
    void operator()(GVariant* value) const;
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

class KWinScripts {
  public:
    // Connects to the session bus (`busAddress`, nullptr: the session's).
    // Null when there is none or KWin does not own org.kde.KWin on it.
    static std::unique_ptr<KWinScripts> connect(const char* busAddress = nullptr);
    ~KWinScripts();
    KWinScripts(const KWinScripts&) = delete;
    KWinScripts& operator=(const KWinScripts&) = delete;

    // Runs `body` once; it ends by calling answer(text) with a string.
    // Nothing when it cannot be loaded or does not answer within `timeout`.
    std::optional<std::string> run(const std::string& body,
                                   std::chrono::milliseconds timeout = kAnswerTimeout);

    // Loads `body` to stay until unwatch(): every report(text) it calls is
    // handed to `onReport` while this object waits or pump()s. -1 when it
    // cannot be loaded.
    int watch(const std::string& body, std::function<void(const std::string&)> onReport);
    void unwatch(int watch);
    // Handles what KWin sends until `done()` holds (true), or `timeout` has
    // passed or KWin is gone (false).
    bool waitFor(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = kAnswerTimeout);
    // Handles what KWin has sent; waits up to `atMost` for the first of it.
    void pump(std::chrono::milliseconds atMost = std::chrono::milliseconds(0));

    // Calls a method on the bus (`arguments` a floating tuple or null) and
    // returns its reply once answered (bounded); null when the call fails.
    VariantPtr call(const char* service, const char* path, const char* interface,
                    const char* method, GVariant* arguments,
                    std::chrono::milliseconds timeout = kAnswerTimeout);
    // Emits a signal with no arguments from Tarn's connection.
    bool emitSignal(const char* path, const char* interface, const char* name);

    GDBusConnection* connection() const;
    // Whether the bus, or KWin on it, is gone.
    bool lost();

    // How long KWin may take to answer one script or call.
    static constexpr std::chrono::milliseconds kAnswerTimeout{3000};

    // A JavaScript string literal holding `text`.
    static std::string quoted(const std::string& text);

    struct State;

  private:
    explicit KWinScripts(std::unique_ptr<State> state);
    std::unique_ptr<State> d_;
};

// Undoes the percent-encoding of JavaScript's encodeURIComponent.
std::string percentDecoded(const std::string& text);

}  // namespace tarn::kwin
