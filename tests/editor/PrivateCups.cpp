// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrivateCups.h"

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <algorithm>

#include "PlatformTestSupport.h"

namespace tarn::editor::testing {

namespace {

using namespace std::chrono_literals;

bool writeText(const QString& path, const QString& text, QFile::Permissions mode) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    file.write(text.toUtf8());
    file.close();
    return file.setPermissions(mode);
}

// The back end: called without arguments it describes itself; otherwise it
// copies the job (the file in $6, or standard input) into the folder its
// device URI names, as job-ID-QUEUE.pdf.
const char* kBackend = R"(#!/bin/sh
if [ $# -eq 0 ]; then
  echo 'direct tarntest "Unknown" "Tarn test output"'
  exit 0
fi
out="${DEVICE_URI#tarntest:}"
file="$out/job-$1-$PRINTER.pdf"
if [ -n "$6" ]; then cp "$6" "$file"; else cat > "$file"; fi
)";

constexpr QFile::Permissions kOwnerAll = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions kReadable =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
constexpr QFile::Permissions kRunnable =
    kOwnerAll | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

}  // namespace

PrivateCups::~PrivateCups() {
    stop();
}

bool PrivateCups::fail(const QString& psvWhy) {
    msvError = psvWhy;
    QFile log(msvRoot + QStringLiteral("/log/error_log"));
    if (log.open(QIODevice::ReadOnly)) msvError += QStringLiteral("\n") + log.readAll().right(2000);
    stop();
    return false;
}

QString PrivateCups::outFolder() const {
    return msvRoot + QStringLiteral("/out");
}

bool PrivateCups::start(const QString& psvQueue) {
    const QString socket = qEnvironmentVariable("CUPS_SERVER");
    if (!socket.startsWith(QLatin1Char('/')))
        return fail(QStringLiteral("CUPS_SERVER does not name a socket"));
    msvRoot = QFileInfo(socket).path();
    QDir root(msvRoot);
    // A scheduler of an earlier test in this process leaves its files behind.
    for (const QString& entry : root.entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
        QFileInfo(root.filePath(entry)).isDir() ? QDir(root.filePath(entry)).removeRecursively()
                                                : QFile::remove(root.filePath(entry));
    // The scheduler runs its back ends as lp, which must reach out/.
    QFile::setPermissions(msvRoot, kRunnable);
    for (const char* sub : {"conf", "spool", "cache", "state", "log", "tmp", "out", "bin/backend"})
        if (!root.mkpath(QString::fromLatin1(sub)))
            return fail(QStringLiteral("cannot make ") + QString::fromLatin1(sub));
    for (const char* sub : {"bin", "bin/backend", "conf", "log"})
        QFile::setPermissions(root.filePath(QString::fromLatin1(sub)), kRunnable);
    // Everyone may write tmp/ and out/; lp owns what the scheduler writes as lp.
    for (const char* sub : {"tmp", "out"})
        if (::chmod(root.filePath(QString::fromLatin1(sub)).toLocal8Bit().constData(), 01777) != 0)
            return fail(QStringLiteral("chmod failed"));
    for (const char* sub : {"spool", "cache", "state", "out"})
        if (!client(QStringLiteral("chown"),
                    {QStringLiteral("lp:lp"), root.filePath(QString::fromLatin1(sub))}))
            return fail(QStringLiteral("cannot give the spool to lp"));
    for (const char* part : {"filter", "daemon", "notifier", "monitor", "cgi-bin"}) {
        const QString system = QStringLiteral("/usr/lib/cups/") + QString::fromLatin1(part);
        if (QFileInfo::exists(system))
            QFile::link(system, root.filePath(QStringLiteral("bin/") + QString::fromLatin1(part)));
    }
    const QString conf = root.filePath(QStringLiteral("conf/cupsd.conf"));
    const QString files = root.filePath(QStringLiteral("conf/cups-files.conf"));
    const bool written =
        writeText(root.filePath(QStringLiteral("bin/backend/tarntest")),
                  QString::fromLatin1(kBackend), kRunnable) &&
        writeText(conf,
                  QStringLiteral("Listen %1\nWebInterface No\nBrowsing No\nLogLevel warn\n"
                                 "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n")
                      .arg(socket),
                  kReadable) &&
        writeText(files,
                  QStringLiteral("ServerRoot %1/conf\nRequestRoot %1/spool\nCacheDir %1/cache\n"
                                 "StateDir %1/state\nTempDir %1/tmp\nAccessLog %1/log/access_log\n"
                                 "ErrorLog %1/log/error_log\nPageLog %1/log/page_log\n"
                                 "User lp\nGroup lp\nServerBin %1/bin\n")
                      .arg(msvRoot),
                  kReadable);
    if (!written) return fail(QStringLiteral("cannot write the configuration"));

    mDaemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mDaemon.start(QStringLiteral("cupsd"),
                  {QStringLiteral("-f"), QStringLiteral("-c"), conf, QStringLiteral("-s"), files});
    if (!mDaemon.waitForStarted(10000)) return fail(QStringLiteral("cupsd did not start"));
    const bool running = platformtest::waitUntil(
        [&] {
            QString output;
            return mDaemon.state() == QProcess::Running &&
                   client(QStringLiteral("lpstat"), {QStringLiteral("-r")}, &output) &&
                   output.contains(QStringLiteral("is running"));
        },
        15s, 50ms);
    if (!running) return fail(QStringLiteral("cupsd does not answer on ") + socket);
    if (!addQueue(psvQueue) || !client(QStringLiteral("lpadmin"), {QStringLiteral("-d"), psvQueue}))
        return fail(QStringLiteral("lpadmin could not add the queue"));
    return true;
}

bool PrivateCups::addQueue(const QString& psvQueue) {
    return client(
        QStringLiteral("lpadmin"),
        {QStringLiteral("-p"), psvQueue, QStringLiteral("-E"), QStringLiteral("-v"),
         QStringLiteral("tarntest:") + outFolder(), QStringLiteral("-m"), QStringLiteral("raw")});
}

bool PrivateCups::client(const QString& psvProgram, const QStringList& pArgs,
                         QString* pOutput) const {
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

QStringList PrivateCups::waitForJobs(int plCount, std::chrono::milliseconds pLimit) const {
    QStringList jobs;
    platformtest::waitUntil(
        [&] {
            QString pending;
            if (!client(QStringLiteral("lpstat"), {QStringLiteral("-o")}, &pending) ||
                !pending.trimmed().isEmpty())
                return false;
            jobs = QDir(outFolder()).entryList({QStringLiteral("job-*.pdf")}, QDir::Files);
            return jobs.size() >= plCount;
        },
        pLimit, 100ms);
    // Job IDs count up: the order in which the scheduler took the jobs.
    auto id = [](const QString& name) { return name.section(QLatin1Char('-'), 1, 1).toInt(); };
    std::sort(jobs.begin(), jobs.end(),
              [&](const QString& a, const QString& b) { return id(a) < id(b); });
    for (QString& job : jobs)
        job = outFolder() + QLatin1Char('/') + job;
    return jobs;
}

void PrivateCups::stop() {
    if (mDaemon.state() == QProcess::NotRunning) return;
    // QProcess signals the scheduler by the PID it started.
    mDaemon.terminate();
    if (!mDaemon.waitForFinished(10000)) {
        mDaemon.kill();
        mDaemon.waitForFinished(5000);
    }
}

}  // namespace tarn::editor::testing
