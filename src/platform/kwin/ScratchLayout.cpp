// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScratchLayout.h"

#include <gio/gio.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "KWinScripts.h"

namespace tarn::kwin {

namespace {

namespace fs = std::filesystem;

constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kLayoutsPath = "/Layouts";
constexpr const char* kLayouts = "org.kde.KeyboardLayouts";
constexpr const char* kRecordHeader = "tarn keyboard record";

std::optional<std::string> readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Written whole or not at all: a rename over the old file.
bool writeText(const fs::path& path, const std::string& text) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    const fs::path temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) return false;
    }
    fs::rename(temporary, path, error);
    return !error;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i ? "," : "") + parts[i];
    return text;
}

// The value of a key of kxkbrc's [Layout] group; nothing when absent.
std::optional<std::string> layoutKey(const std::string& kxkbrc, const std::string& key) {
    std::istringstream lines(kxkbrc);
    bool inLayout = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] == '[') {
            inLayout = line.rfind("[Layout]", 0) == 0;
        } else if (inLayout && line.rfind(key + "=", 0) == 0) {
            return line.substr(key.size() + 1);
        }
    }
    return std::nullopt;
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, ','))
        parts.push_back(part);
    if (!text.empty() && text.back() == ',') parts.emplace_back();
    return parts;
}

}  // namespace

std::string withLayoutKeys(const std::string& kxkbrc,
                           const std::vector<std::pair<std::string, std::string>>& values) {
    std::vector<bool> written(values.size(), false);
    std::string out;
    bool inLayout = false, sawLayout = false;
    const auto writeMissing = [&] {
        for (std::size_t i = 0; i < values.size(); ++i)
            if (!written[i]) out += values[i].first + "=" + values[i].second + "\n";
        written.assign(values.size(), true);
    };
    std::istringstream lines(kxkbrc);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] == '[') {
            if (inLayout) writeMissing();
            inLayout = line.rfind("[Layout]", 0) == 0;
            sawLayout = sawLayout || inLayout;
        } else if (inLayout) {
            bool replaced = false;
            for (std::size_t i = 0; i < values.size() && !replaced; ++i) {
                if (line.rfind(values[i].first + "=", 0) != 0) continue;
                out += values[i].first + "=" + values[i].second + "\n";
                written[i] = replaced = true;
            }
            if (replaced) continue;
        }
        out += line + "\n";
    }
    if (inLayout) writeMissing();
    if (!sawLayout) {
        if (!out.empty() && out.substr(out.size() - 2) != "\n\n") out += "\n";
        out += "[Layout]\n";
        writeMissing();
    }
    return out;
}

ScratchLayout::ScratchLayout(KWinScripts& bus, std::string configHome)
    : bus_(bus), configHome_(std::move(configHome)) {}

std::optional<Layout> layoutDescribed(const std::string& description, const std::string& rules) {
    std::istringstream lines(rules);
    std::string section;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("! ", 0) == 0) {
            section = line.substr(2);
            continue;
        }
        // "  name   description"; a variant's description is "layout: description".
        std::istringstream fields(line);
        std::string name;
        if (!(fields >> name)) continue;
        std::string rest;
        std::getline(fields >> std::ws, rest);
        if (section == "layout" && rest == description) return Layout{name, ""};
        if (section == "variant") {
            const std::size_t colon = rest.find(": ");
            if (colon != std::string::npos && rest.substr(colon + 2) == description)
                return Layout{rest.substr(0, colon), name};
        }
    }
    return std::nullopt;
}

std::optional<std::vector<Layout>> ScratchLayout::layouts(xkb_keymap* keymap) {
    VariantPtr reply = bus_.call(kKWin, kLayoutsPath, kLayouts, "getLayoutsList", nullptr);
    if (reply) {
        std::vector<Layout> list;
        GVariantIter* iter = nullptr;
        g_variant_get(reply.get(), "(a(sss))", &iter);
        const gchar *name = nullptr, *variant = nullptr, *description = nullptr;
        while (g_variant_iter_loop(iter, "(&s&s&s)", &name, &variant, &description))
            list.push_back({name, variant});
        g_variant_iter_free(iter);
        return list;
    }
    // KWin offers the interface only with two layouts or more; one is the
    // one kxkbrc lists, or else the default.
    const std::string kxkbrc = readText(configHome_ + "/kxkbrc").value_or("");
    const std::vector<std::string> names = split(layoutKey(kxkbrc, "LayoutList").value_or(""));
    if (layoutKey(kxkbrc, "Use").value_or("") == "true" && names.size() == 1 && !names[0].empty()) {
        const std::vector<std::string> variants =
            split(layoutKey(kxkbrc, "VariantList").value_or(""));
        return std::vector<Layout>{{names[0], variants.empty() ? "" : variants[0]}};
    }
    const char* name = keymap && xkb_keymap_num_layouts(keymap) == 1
                           ? xkb_keymap_layout_get_name(keymap, 0)
                           : nullptr;
    if (!name) return std::nullopt;
    const std::string rules = readText("/usr/share/X11/xkb/rules/evdev.lst").value_or("");
    if (const std::optional<Layout> layout = layoutDescribed(name, rules))
        return std::vector<Layout>{*layout};
    return std::nullopt;
}

std::optional<unsigned> ScratchLayout::active() {
    VariantPtr reply = bus_.call(kKWin, kLayoutsPath, kLayouts, "getLayout", nullptr);
    if (!reply) return 0;
    guint32 index = 0;
    g_variant_get(reply.get(), "(u)", &index);
    return index;
}

bool ScratchLayout::activate(unsigned index) {
    VariantPtr reply =
        bus_.call(kKWin, kLayoutsPath, kLayouts, "setLayout", g_variant_new("(u)", index));
    if (!reply) return index == 0;
    gboolean done = FALSE;
    g_variant_get(reply.get(), "(b)", &done);
    return done;
}

void ScratchLayout::reload() {
    bus_.emitSignal(kLayoutsPath, "org.kde.keyboard", "reloadConfig");
}

bool ScratchLayout::record(unsigned activeIndex) {
    const std::optional<std::string> kxkbrc = readText(configHome_ + "/kxkbrc");
    std::string text = std::string(kRecordHeader) + "\npid " + std::to_string(::getpid()) +
                       "\nactive " + std::to_string(activeIndex) + "\nkxkbrc " +
                       (kxkbrc ? "present\n" + *kxkbrc : "absent\n");
    return writeText(configHome_ + "/tarn/kwin-keyboard.saved", text);
}

bool ScratchLayout::restoreFrom(const std::string& record) {
    std::istringstream in(record);
    std::string header, word, presence;
    long pid = 0;
    unsigned activeIndex = 0;
    std::getline(in, header);
    if (header != kRecordHeader || !(in >> word >> pid) || !(in >> word >> activeIndex) ||
        !(in >> word >> presence)) {
        return false;
    }
    in.get();  // the line's end
    std::error_code ignored;
    const fs::path kxkbrc = configHome_ + "/kxkbrc";
    if (presence == "present") {
        std::ostringstream rest;
        rest << in.rdbuf();
        if (!writeText(kxkbrc, rest.str())) return false;
    } else {
        fs::remove(kxkbrc, ignored);
    }
    fs::remove(configHome_ + "/xkb/symbols/" + kName, ignored);
    reload();
    // The layouts are back once KWin has reloaded them; until then the
    // index may not exist yet. Bounded by the calls' own time-outs.
    for (int attempt = 0; attempt < 20 && !activate(activeIndex); ++attempt)
        bus_.pump(std::chrono::milliseconds(50));
    fs::remove(configHome_ + "/tarn/kwin-keyboard.saved", ignored);
    return true;
}

bool ScratchLayout::usable() {
    std::error_code error;
    if (fs::is_directory(configHome_ + "/xkb", error)) return true;
    fs::create_directories(configHome_ + "/xkb/symbols", error);
    return false;
}

bool ScratchLayout::reclaim() {
    const std::optional<std::string> saved = readText(configHome_ + "/tarn/kwin-keyboard.saved");
    if (!saved) return false;
    std::istringstream in(*saved);
    std::string header, word;
    long pid = 0;
    std::getline(in, header);
    in >> word >> pid;
    // Another run's record while it runs is that run's to give back.
    if (pid > 0 && pid != ::getpid() && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
        return false;
    return restoreFrom(*saved);
}

std::optional<unsigned> ScratchLayout::install(
    xkb_keymap* keymap, const Layout& base,
    const std::vector<std::pair<std::string, xkb_keysym_t>>& keys) {
    std::string symbols = "default partial alphanumeric_keys\nxkb_symbols \"basic\" {\n";
    symbols += "    include \"" + base.name +
               (base.variant.empty() ? "" : "(" + base.variant + ")") +
               "\"\n    name[Group1] = \"Tarn typing\";\n";
    for (const auto& [key, keysym] : keys) {
        char name[64];
        if (xkb_keysym_get_name(keysym, name, sizeof name) <= 0) return std::nullopt;
        symbols += "    key <" + key + "> { [ " + name + " ] };\n";
    }
    symbols += "};\n";
    if (!writeText(configHome_ + "/xkb/symbols/" + kName, symbols)) return std::nullopt;

    if (!group_) {
        const std::optional<std::vector<Layout>> list = layouts(keymap);
        const std::optional<unsigned> index = active();
        if (!list || !index || !record(*index)) return std::nullopt;
        std::vector<std::string> names, variants;
        for (const Layout& layout : *list) {
            names.push_back(layout.name);
            variants.push_back(layout.variant);
        }
        names.push_back(kName);
        variants.emplace_back();
        const std::string kxkbrc = readText(configHome_ + "/kxkbrc").value_or("");
        std::vector<std::pair<std::string, std::string>> values = {
            {"LayoutList", joined(names)}, {"VariantList", joined(variants)}, {"Use", "true"}};
        if (const auto shown = layoutKey(kxkbrc, "DisplayNames"); shown && !shown->empty())
            values.push_back({"DisplayNames", *shown + ","});
        if (!writeText(configHome_ + "/kxkbrc", withLayoutKeys(kxkbrc, values))) {
            reclaim();
            return std::nullopt;
        }
        group_ = static_cast<unsigned>(list->size());
    }
    reload();
    return group_;
}

void ScratchLayout::remove() {
    if (!group_) return;
    group_.reset();
    const std::optional<std::string> saved = readText(configHome_ + "/tarn/kwin-keyboard.saved");
    if (saved) restoreFrom(*saved);
}

}  // namespace tarn::kwin
