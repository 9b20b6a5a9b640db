// SPDX-License-Identifier: GPL-3.0-or-later
#include "KWinScripts.h"

#include <gio/gio.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

#include "GlibPointers.h"

namespace tarn::kwin {

void VariantUnref::operator()(GVariant* value) const {
    if (value) g_variant_unref(value);
}

namespace {

constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kScripting = "org.kde.kwin.Scripting";
constexpr const char* kObjectPath = "/tarn/kwin";
constexpr const char* kInterface = "tarn.KWinScript";
constexpr const char* kIntrospection =
    "<node><interface name='tarn.KWinScript'><method name='answer'>"
    "<arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "</method></interface></node>";

int milliseconds(std::chrono::milliseconds value) {
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(value.count(), 1));
}

}  // namespace

struct KWinScripts::State {
    GMainContext* context = nullptr;
    GDBusConnection* bus = nullptr;
    guint registration = 0;
    guint ownerWatch = 0;
    std::string kwinOwner;  // KWin's unique name: the only caller taken
    bool kwinGone = false;
    std::string folder;  // where script files are written, private to this object
    int next = 0;
    std::map<std::string, std::optional<std::string>> answers;  // by token
    std::map<std::string, std::function<void(const std::string&)>> watchers;
    std::map<int, std::string> watchPlugins;  // watch -> plugin name

    ~State() {
        if (bus) {
            for (const auto& [watch, plugin] : watchPlugins)
                unload(plugin);
            if (registration) g_dbus_connection_unregister_object(bus, registration);
            if (ownerWatch) g_dbus_connection_signal_unsubscribe(bus, ownerWatch);
            g_dbus_connection_close_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
        // Callbacks still queued hold no references to this object once the
        // context is gone with them.
        if (context) {
            while (g_main_context_iteration(context, FALSE)) {
            }
            g_main_context_unref(context);
        }
        std::error_code ignored;
        if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
    }

    VariantPtr call(const char* service, const char* path, const char* interface,
                    const char* method, GVariant* arguments, std::chrono::milliseconds timeout) {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(bus, service, path, interface, method,
                                                      arguments, nullptr, G_DBUS_CALL_FLAGS_NONE,
                                                      milliseconds(timeout), nullptr, &error);
        if (error) g_error_free(error);
        return VariantPtr(reply);
    }

    void unload(const std::string& plugin) {
        call(kKWin, "/Scripting", kScripting, "unloadScript", g_variant_new("(s)", plugin.c_str()),
             kAnswerTimeout);
    }

    // Handles events until `done` holds or `timeout` has passed.
    template <class Done>
    bool waitUntil(Done done, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (g_main_context_iteration(context, FALSE)) {
        }
        while (!done()) {
            if (kwinGone || g_dbus_connection_is_closed(bus)) return false;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            GSource* timer = g_timeout_source_new(static_cast<guint>(left.count()));
            g_source_set_callback(
                timer, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
            g_source_attach(timer, context);
            g_main_context_iteration(context, TRUE);
            g_source_destroy(timer);
            g_source_unref(timer);
        }
        return true;
    }

    // Loads a script whose calls answer(text) and report(text) come back
    // under `token`; the plugin name, or "" when KWin refused it.
    std::string load(const std::string& body, const std::string& token) {
        // Unique on the bus, whatever else this process or another runs.
        std::string connection = g_dbus_connection_get_unique_name(bus);
        for (char& c : connection)
            if (c == ':' || c == '.') c = '_';
        const std::string plugin = "tarn" + connection + "-" + token;
        const std::string file = folder + "/" + plugin + ".js";
        const std::string back = "callDBus(" + quoted(g_dbus_connection_get_unique_name(bus)) +
                                 ", " + quoted(kObjectPath) + ", " + quoted(kInterface) +
                                 ", \"answer\", " + quoted(token) + ", String(text));";
        {
            std::ofstream out(file, std::ios::trunc);
            out << "function answer(text) { " << back << " }\n"
                << "function report(text) { " << back << " }\n"
                << body << "\n";
            if (!out.flush()) return {};
        }
        VariantPtr loaded =
            call(kKWin, "/Scripting", kScripting, "loadScript",
                 g_variant_new("(ss)", file.c_str(), plugin.c_str()), kAnswerTimeout);
        gint32 id = -1;
        if (loaded) g_variant_get(loaded.get(), "(i)", &id);
        if (id < 0) {
            // A plugin of that name left over makes KWin refuse the load.
            unload(plugin);
            return {};
        }
        // The script's object: /<id> up to Plasma 5, /Scripting/Script<id> since.
        for (const std::string& path :
             {"/" + std::to_string(id), "/Scripting/Script" + std::to_string(id)}) {
            if (call(kKWin, path.c_str(), "org.kde.kwin.Script", "run", nullptr, kAnswerTimeout))
                return plugin;
        }
        unload(plugin);
        return {};
    }

    static void onCall(GDBusConnection*, const gchar* sender, const gchar*, const gchar*,
                       const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                       gpointer data) {
        auto* self = static_cast<State*>(data);
        if (self->kwinOwner != (sender ? sender : "") || std::string(method) != "answer") {
            g_dbus_method_invocation_return_dbus_error(
                invocation, "org.freedesktop.DBus.Error.AccessDenied", "only KWin may answer");
            return;
        }
        const gchar* token = nullptr;
        const gchar* text = nullptr;
        g_variant_get(parameters, "(&s&s)", &token, &text);
        const std::string answer = text;
        g_dbus_method_invocation_return_value(invocation, nullptr);
        if (auto at = self->answers.find(token); at != self->answers.end()) {
            at->second = answer;
        } else if (auto watcher = self->watchers.find(token); watcher != self->watchers.end()) {
            // A copy: the handler may unwatch.
            auto handler = watcher->second;
            handler(answer);
        }
    }

    static void onOwnerChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                               const gchar*, GVariant* parameters, gpointer data) {
        auto* self = static_cast<State*>(data);
        const gchar* newOwner = nullptr;
        g_variant_get(parameters, "(&s&s&s)", nullptr, nullptr, &newOwner);
        if (self->kwinOwner != newOwner) self->kwinGone = true;
    }
};

std::unique_ptr<KWinScripts> KWinScripts::connect(const char* busAddress) {
    auto state = std::make_unique<State>();
    gio::GCharPtr address(
        busAddress ? g_strdup(busAddress)
                   : g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!address) return nullptr;
    state->context = g_main_context_new();
    g_main_context_push_thread_default(state->context);
    struct Pop {
        GMainContext* context;
        ~Pop() { g_main_context_pop_thread_default(context); }
    } pop{state->context};

    state->bus = g_dbus_connection_new_for_address_sync(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!state->bus) return nullptr;
    g_dbus_connection_set_exit_on_close(state->bus, FALSE);

    VariantPtr owner =
        state->call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                    "GetNameOwner", g_variant_new("(s)", kKWin), kAnswerTimeout);
    if (!owner) return nullptr;
    const gchar* unique = nullptr;
    g_variant_get(owner.get(), "(&s)", &unique);
    state->kwinOwner = unique;
    state->ownerWatch = g_dbus_connection_signal_subscribe(
        state->bus, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
        "/org/freedesktop/DBus", kKWin, G_DBUS_SIGNAL_FLAGS_NONE, &State::onOwnerChanged,
        state.get(), nullptr);

    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    static const GDBusInterfaceVTable vtable = {&State::onCall, nullptr, nullptr, {}};
    state->registration = g_dbus_connection_register_object(
        state->bus, kObjectPath, node->interfaces[0], &vtable, state.get(), nullptr, nullptr);
    g_dbus_node_info_unref(node);
    if (!state->registration) return nullptr;

    // Script files are only for KWin to read, which runs as the same user.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string pattern =
        std::string(runtime && *runtime ? runtime : g_get_tmp_dir()) + "/tarn-kwin-XXXXXX";
    if (!g_mkdtemp(pattern.data())) return nullptr;
    state->folder = pattern;
    return std::unique_ptr<KWinScripts>(new KWinScripts(std::move(state)));
}

KWinScripts::KWinScripts(std::unique_ptr<State> state) : d_(std::move(state)) {}
KWinScripts::~KWinScripts() = default;

std::optional<std::string> KWinScripts::run(const std::string& body,
                                            std::chrono::milliseconds timeout) {
    const std::string token = "run" + std::to_string(++d_->next);
    d_->answers[token];
    std::optional<std::string> answer;
    const std::string plugin = d_->load(body, token);
    if (!plugin.empty()) {
        d_->waitUntil([&] { return d_->answers[token].has_value(); }, timeout);
        answer = d_->answers[token];
        d_->unload(plugin);
    }
    d_->answers.erase(token);
    std::error_code ignored;
    std::filesystem::remove(d_->folder + "/" + plugin + ".js", ignored);
    return answer;
}

int KWinScripts::watch(const std::string& body, std::function<void(const std::string&)> onReport) {
    const int watch = ++d_->next;
    const std::string token = "watch" + std::to_string(watch);
    d_->watchers[token] = std::move(onReport);
    const std::string plugin = d_->load(body, token);
    if (plugin.empty()) {
        d_->watchers.erase(token);
        return -1;
    }
    d_->watchPlugins[watch] = plugin;
    return watch;
}

void KWinScripts::unwatch(int watch) {
    auto at = d_->watchPlugins.find(watch);
    if (at == d_->watchPlugins.end()) return;
    d_->unload(at->second);
    std::error_code ignored;
    std::filesystem::remove(d_->folder + "/" + at->second + ".js", ignored);
    d_->watchPlugins.erase(at);
    d_->watchers.erase("watch" + std::to_string(watch));
}

bool KWinScripts::waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return d_->waitUntil(done, timeout);
}

void KWinScripts::pump(std::chrono::milliseconds atMost) {
    bool any = false;
    while (g_main_context_iteration(d_->context, FALSE))
        any = true;
    if (!any && atMost.count() > 0) {
        d_->waitUntil([&] { return g_main_context_pending(d_->context); }, atMost);
        while (g_main_context_iteration(d_->context, FALSE)) {
        }
    }
}

VariantPtr KWinScripts::call(const char* service, const char* path, const char* interface,
                             const char* method, GVariant* arguments,
                             std::chrono::milliseconds timeout) {
    return d_->call(service, path, interface, method, arguments, timeout);
}

bool KWinScripts::emitSignal(const char* path, const char* interface, const char* name) {
    return g_dbus_connection_emit_signal(d_->bus, nullptr, path, interface, name, nullptr,
                                         nullptr) &&
           g_dbus_connection_flush_sync(d_->bus, nullptr, nullptr);
}

GDBusConnection* KWinScripts::connection() const {
    return d_->bus;
}

bool KWinScripts::lost() {
    while (g_main_context_iteration(d_->context, FALSE)) {
    }
    return d_->kwinGone || g_dbus_connection_is_closed(d_->bus);
}

std::string KWinScripts::quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    // U+2028 and U+2029 end a line in older JavaScript string literals.
    for (const char* separator : {"\xe2\x80\xa8", "\xe2\x80\xa9"}) {
        for (std::size_t at; (at = out.find(separator)) != std::string::npos;)
            out.replace(at, 3, separator[2] == '\xa8' ? "\\u2028" : "\\u2029");
    }
    return out + "\"";
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace tarn::kwin
