// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A CUPS scheduler of the tests' own on the socket CUPS_SERVER names, with
// its files in that socket's folder and raw queues whose back end copies each
// job (the PDF Qt sent) into out/ there. Ended by its PID when the object goes.

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <chrono>

#include "PlatformTestSupport.h"

namespace tarn::editor::testing {

class PrivateCups {
  public:
    PrivateCups() = default;
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;
    ~PrivateCups() { stop(); }

    // Starts the scheduler and adds psvQueue as the default printer. On
    // failure returns false with the reason in error().
    bool start(const QString& psvQueue) {
        const QString socket = qEnvironmentVariable("CUPS_SERVER");
        if (!socket.startsWith('/')) return fail("CUPS_SERVER does not name a socket");
        msvRoot = QFileInfo(socket).path();
        const QDir root(msvRoot);
        // A scheduler of an earlier test in this process leaves its files behind.
        for (const QFileInfo& entry : root.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot))
            entry.isDir() ? QDir(entry.filePath()).removeRecursively()
                          : QFile::remove(entry.filePath());
        // The scheduler runs its back ends as lp, which must reach out/; everyone
        // may write tmp/ and out/, and lp owns what the scheduler writes as lp.
        const std::pair<const char*, mode_t> folders[] = {
            {"", 0755},      {"bin", 0755},   {"bin/backend", 0755}, {"conf", 0755},
            {"spool", 0755}, {"cache", 0755}, {"state", 0755},       {"log", 0755},
            {"tmp", 01777},  {"out", 01777}};
        for (const auto& [sub, mode] : folders)
            if (!QDir().mkpath(msvRoot + '/' + sub) ||
                ::chmod(QFile::encodeName(msvRoot + '/' + sub).constData(), mode) != 0)
                return fail(QString("cannot make ") + sub);
        for (const char* sub : {"spool", "cache", "state", "out"})
            if (!client("chown", {"lp:lp", root.filePath(sub)}))
                return fail("cannot give the spool to lp");
        for (const QString part : {"filter", "daemon", "notifier", "monitor", "cgi-bin"})
            if (QFileInfo::exists("/usr/lib/cups/" + part))
                QFile::link("/usr/lib/cups/" + part, root.filePath("bin/" + part));
        const QString conf = root.filePath("conf/cupsd.conf");
        const QString files = root.filePath("conf/cups-files.conf");
        const bool written =
            writeText(root.filePath("bin/backend/tarntest"), kBackend, 0755) &&
            writeText(conf,
                      QString("Listen %1\nWebInterface No\nBrowsing No\nLogLevel warn\n"
                              "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n")
                          .arg(socket),
                      0644) &&
            writeText(files,
                      QString("ServerRoot %1/conf\nRequestRoot %1/spool\nCacheDir %1/cache\n"
                              "StateDir %1/state\nTempDir %1/tmp\nAccessLog %1/log/access_log\n"
                              "ErrorLog %1/log/error_log\nPageLog %1/log/page_log\n"
                              "User lp\nGroup lp\nServerBin %1/bin\n")
                          .arg(msvRoot),
                      0644);
        if (!written) return fail("cannot write the configuration");

        mDaemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mDaemon.start("cupsd", {"-f", "-c", conf, "-s", files});
        if (!mDaemon.waitForStarted(10000)) return fail("cupsd did not start");
        const bool running = platformtest::waitUntil(
            [&] {
                QString output;
                return mDaemon.state() == QProcess::Running && client("lpstat", {"-r"}, &output) &&
                       output.contains("is running");
            },
            std::chrono::seconds(15), std::chrono::milliseconds(50));
        if (!running) return fail("cupsd does not answer on " + socket);
        if (!addQueue(psvQueue) || !client("lpadmin", {"-d", psvQueue}))
            return fail("lpadmin could not add the queue");
        return true;
    }
    const QString& error() const { return msvError; }
    // One more raw queue into the same folder (not the default).
    bool addQueue(const QString& psvQueue) {
        return client("lpadmin",
                      {"-p", psvQueue, "-E", "-v", "tarntest:" + msvRoot + "/out", "-m", "raw"});
    }

    // Waits (bounded) until the queues are idle and at least plCount jobs
    // have arrived; returns their files (job-ID-QUEUE.pdf), oldest first.
    QStringList waitForJobs(int plCount, std::chrono::milliseconds pLimit) const {
        QStringList jobs;
        platformtest::waitUntil(
            [&] {
                QString pending;
                if (!client("lpstat", {"-o"}, &pending) || !pending.trimmed().isEmpty())
                    return false;
                jobs = QDir(msvRoot + "/out").entryList({"job-*.pdf"}, QDir::Files);
                return jobs.size() >= plCount;
            },
            pLimit, std::chrono::milliseconds(100));
        // Job IDs count up: the order in which the scheduler took the jobs.
        auto id = [](const QString& name) { return name.section('-', 1, 1).toInt(); };
        std::sort(jobs.begin(), jobs.end(),
                  [&](const QString& a, const QString& b) { return id(a) < id(b); });
        for (QString& job : jobs)
            job = msvRoot + "/out/" + job;
        return jobs;
    }

  private:
    // The back end: called without arguments it describes itself; otherwise it
    // copies the job (the file in $6, or standard input) into the folder its
    // device URI names, as job-ID-QUEUE.pdf.
    static constexpr const char* kBackend = R"(#!/bin/sh
if [ $# -eq 0 ]; then
  echo 'direct tarntest "Unknown" "Tarn test output"'
  exit 0
fi
out="${DEVICE_URI#tarntest:}"
file="$out/job-$1-$PRINTER.pdf"
if [ -n "$6" ]; then cp "$6" "$file"; else cat > "$file"; fi
)";

    static bool writeText(const QString& path, const QString& text, mode_t mode) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
        file.write(text.toUtf8());
        file.close();
        return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
    }
    // Runs a CUPS client program against the scheduler; false when it fails.
    bool client(const QString& psvProgram, const QStringList& pArgs,
                QString* pOutput = nullptr) const {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(psvProgram, pArgs);
        if (!process.waitForFinished(15000)) {
            process.kill();
            process.waitForFinished(5000);
            return false;
        }
        if (pOutput) *pOutput = QString::fromLocal8Bit(process.readAll());
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
    bool fail(const QString& psvWhy) {
        msvError = psvWhy;
        QFile log(msvRoot + "/log/error_log");
        if (log.open(QIODevice::ReadOnly)) msvError += "\n" + log.readAll().right(2000);
        stop();
        return false;
    }
    void stop() {
        if (mDaemon.state() == QProcess::NotRunning) return;
        // QProcess signals the scheduler by the PID it started.
        mDaemon.terminate();
        if (!mDaemon.waitForFinished(10000)) {
            mDaemon.kill();
            mDaemon.waitForFinished(5000);
        }
    }

    QString msvRoot;
    QString msvError;
    QProcess mDaemon;
};

}  // namespace tarn::editor::testing
