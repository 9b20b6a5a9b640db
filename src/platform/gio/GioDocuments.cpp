// SPDX-License-Identifier: GPL-3.0-or-later
#include "GioDocuments.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "GlibPointers.h"
#include "OwnEnvironment.h"
#include "PosixCommandLine.h"
#include "PosixSpawn.h"
#include "Utf8.h"

namespace tarn::gio {

namespace {

// The shell's result codes that RunExecute reports.
enum Result : int {
    kOutOfResources = 0,
    kNoFile = 2,
    kNoFolder = 3,
    kAccessDenied = 5,
    kCannotStart = 11,
    kTimedOut = 28,
    kNoAssociation = 31,
};

// How long a print request may take to reach the print service. lp only
// hands the file to cupsd, which answers at once; a scheduler that hangs must
// not hang the macro.
constexpr int kPrintMilliseconds = 10000;
constexpr int kKillReapMilliseconds = 500;

std::string currentFolder() {
    GCharPtr folder(g_get_current_dir());
    return folder ? std::string(folder.get()) : std::string("/");
}

std::string absoluteIn(const std::string& path, const std::string& base) {
    if (!path.empty() && path.front() == '/') return path;
    if (base.empty() || base.back() == '/') return base + path;
    return base + "/" + path;
}

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return path.substr(0, slash);
}

bool isFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Looks the path up: 0 and its details when it exists, else the result code
// that says what is missing.
int locate(const std::string& path, struct stat& info) {
    if (stat(path.c_str(), &info) == 0) return 0;
    switch (errno) {
        case ENOENT:
            return isFolder(parentOf(path)) ? kNoFile : kNoFolder;
        case ENOTDIR:
            return kNoFolder;
        case EACCES:
        case EPERM:
            return kAccessDenied;
        default:
            return kNoFile;
    }
}

// What the kernel itself can run: a program file with execute permission that
// starts with an interpreter line or an ELF header. Execute permission alone
// is not enough: every file on a FAT or NTFS volume has it, and a document
// there must still open in its application.
bool isProgramFile(const std::string& path, const struct stat& info) {
    if (!S_ISREG(info.st_mode) || access(path.c_str(), X_OK) != 0) return false;
    char head[4] = {};
    std::ifstream file(path, std::ios::binary);
    file.read(head, sizeof head);
    const std::streamsize got = file.gcount();
    return (got >= 2 && head[0] == '#' && head[1] == '!') || (got == 4 && std::memcmp(head,
                                                                                      "\x7f"
                                                                                      "ELF",
                                                                                      4) == 0);
}

int resultForErrno(int error) {
    switch (error) {
        case ENOMEM:
        case EAGAIN:
            return kOutOfResources;
        case EACCES:
        case EPERM:
            return kAccessDenied;
        default:
            return kCannotStart;
    }
}

int resultForLaunchError(const GError* error) {
    if (error && error->domain == G_SPAWN_ERROR) {
        switch (error->code) {
            case G_SPAWN_ERROR_NOMEM:
            case G_SPAWN_ERROR_FORK:
                return kOutOfResources;
            case G_SPAWN_ERROR_ACCES:
            case G_SPAWN_ERROR_PERM:
                return kAccessDenied;
            default:
                return kCannotStart;
        }
    }
    return kCannotStart;
}

struct ChildSetup {
    const char* workingDirectory;  // null: keep the launcher's
};

// Runs in the launched program between fork and exec, so only
// async-signal-safe calls. Its own session keeps it alive after Tarn and its
// terminal have gone, as with Run.
void setUpChild(gpointer data) {
    const auto* setup = static_cast<const ChildSetup*>(data);
    setsid();
    if (setup->workingDirectory && chdir(setup->workingDirectory) != 0) {
        // The start folder was checked just before; should it have vanished the
        // program starts in Tarn's folder rather than not at all.
    }
}

int launch(GAppInfo* application, const std::string& uri, const std::string& workingDirectory) {
    GList uris{};
    uris.data = const_cast<char*>(uri.c_str());
    GError* failure = nullptr;
    gboolean launched;
    // The program gets the environment Tarn was started with.
    GObjectPtr<GAppLaunchContext> context(g_app_launch_context_new());
    for (const auto& [name, original] : posix::ownVariables()) {
        if (original) {
            g_app_launch_context_setenv(context.get(), name.c_str(), original->c_str());
        } else {
            g_app_launch_context_unsetenv(context.get(), name.c_str());
        }
    }
    if (G_IS_DESKTOP_APP_INFO(application)) {
        GDesktopAppInfo* desktop = G_DESKTOP_APP_INFO(application);
        // A desktop entry that names its own working folder (Path=) needs it.
        GCharPtr ownFolder(g_desktop_app_info_get_string(desktop, "Path"));
        ChildSetup setup{nullptr};
        if (!workingDirectory.empty() && !(ownFolder && *ownFolder))
            setup.workingDirectory = workingDirectory.c_str();
        // The program may outlive Tarn: it must not hold Tarn's output open.
        // GLib closes every other descriptor itself.
        int flags = G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL;
#if GLIB_CHECK_VERSION(2, 74, 0)
        flags |= G_SPAWN_STDIN_FROM_DEV_NULL;
#endif
        // Without G_SPAWN_DO_NOT_REAP_CHILD GLib starts the program through an
        // intermediate child that exits at once, so nothing is left to reap.
        launched = g_desktop_app_info_launch_uris_as_manager(
            desktop, &uris, context.get(), static_cast<GSpawnFlags>(flags), setUpChild, &setup,
            nullptr, nullptr, &failure);
    } else {
        launched = g_app_info_launch_uris(application, &uris, context.get(), &failure);
    }
    GErrorPtr error(failure);
    return launched ? GioDocuments::kStarted : resultForLaunchError(error.get());
}

std::string contentTypeOf(GFile* file, const std::string& path) {
    GError* failure = nullptr;
    GObjectPtr<GFileInfo> info(g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                                 G_FILE_QUERY_INFO_NONE, nullptr, &failure));
    GErrorPtr error(failure);
    if (info && g_file_info_get_content_type(info.get()))
        return g_file_info_get_content_type(info.get());
    GCharPtr guessed(g_content_type_guess(path.c_str(), nullptr, 0, nullptr));
    return guessed ? std::string(guessed.get()) : std::string();
}

int openWithDefault(const std::string& path, const std::string& contentType,
                    const std::string& workingDirectory) {
    GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
    const std::string type = contentType.empty() ? contentTypeOf(file.get(), path) : contentType;
    if (type.empty()) return kNoAssociation;
    GObjectPtr<GAppInfo> application(g_app_info_get_default_for_type(type.c_str(), FALSE));
    if (!application) return kNoAssociation;
    GCharPtr uri(g_file_get_uri(file.get()));
    return launch(application.get(), uri.get(), workingDirectory);
}

int openUri(const std::string& uri, const std::string& scheme,
            const std::string& workingDirectory) {
    GObjectPtr<GAppInfo> application(g_app_info_get_default_for_uri_scheme(scheme.c_str()));
    if (!application) return kNoAssociation;
    return launch(application.get(), uri, workingDirectory);
}

int runProgram(const std::string& path, const std::string& parameters,
               const std::string& workingDirectory) {
    std::vector<std::string> argv{path};
    for (std::string& word : posix::splitCommandLine(parameters))
        argv.push_back(std::move(word));
    posix::SpawnOptions options;
    options.workingDirectory = workingDirectory;
    const posix::SpawnResult started = posix::spawnProgram(argv, options);
    return started.error == 0 ? GioDocuments::kStarted : resultForErrno(started.error);
}

int print(const std::string& path) {
    GCharPtr lp(g_find_program_in_path("lp"));
    if (!lp) return kNoAssociation;
    // The path is absolute, so lp can never read it as an option.
    const posix::SpawnResult started = posix::spawnProgram({lp.get(), path});
    if (started.error != 0) return resultForErrno(started.error);
    int status = -1;
    if (!posix::reapChild(started.pid, kPrintMilliseconds, &status)) {
        kill(started.pid, SIGKILL);
        posix::reapChild(started.pid, kKillReapMilliseconds);
        return kTimedOut;
    }
    // lp fails when there is no default destination, the destination does not
    // exist or the scheduler is not running: in each case no printer takes
    // the file.
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? GioDocuments::kStarted : kNoAssociation;
}

// The scheme of a URI such as https://host/x or mailto:someone, else empty. A
// drive-letter path like C:/x is not a URI.
std::string uriScheme(const std::string& text) {
    const char* scheme = g_uri_peek_scheme(text.c_str());
    if (!scheme || std::strlen(scheme) < 2) return {};
    return scheme;
}

}  // namespace

int GioDocuments::execute(WindowId /*owner*/, const std::string& operation, const std::string& file,
                          const std::string& parameters, const std::string& startDirectory,
                          int /*showCommand*/) {
    std::string verb = utf8::lowerAscii(operation);
    if (verb.empty()) verb = "open";

    std::string workingDirectory;
    if (!startDirectory.empty()) {
        workingDirectory = absoluteIn(startDirectory, currentFolder());
        struct stat info;
        if (stat(workingDirectory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return kNoFolder;
    }
    if (file.empty() || file.find('\0') != std::string::npos) return kNoFile;

    std::string path =
        absoluteIn(file, workingDirectory.empty() ? currentFolder() : workingDirectory);
    struct stat info;
    int missing = locate(path, info);
    if (missing != 0) {
        const std::string scheme = uriScheme(file);
        if (scheme == "file") {
            GCharPtr local(g_filename_from_uri(file.c_str(), nullptr, nullptr));
            if (!local) return kNoFile;
            path = local.get();
            missing = locate(path, info);
        } else if (!scheme.empty()) {
            if (verb != "open") return kNoAssociation;
            const int opened = openUri(file, scheme, workingDirectory);
            // Text that merely starts like a scheme ("notes:2024.txt") and that
            // no program handles is a missing file, not a URI.
            if (opened == kNoAssociation && file.find("://") == std::string::npos) return missing;
            return opened;
        }
        if (missing != 0) return missing;
    }

    const bool folder = S_ISDIR(info.st_mode);
    if (verb == "open") {
        if (folder) return openWithDefault(path, "inode/directory", workingDirectory);
        if (isProgramFile(path, info)) return runProgram(path, parameters, workingDirectory);
        return openWithDefault(path, {}, workingDirectory);
    }
    if (verb == "explore")
        return folder ? openWithDefault(path, "inode/directory", workingDirectory) : kNoAssociation;
    if (verb == "print") return S_ISREG(info.st_mode) ? print(path) : kNoAssociation;
    return kNoAssociation;
}

}  // namespace tarn::gio
