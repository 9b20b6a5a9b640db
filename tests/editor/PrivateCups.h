// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A CUPS scheduler of the tests' own on the socket CUPS_SERVER names, with
// its files in that socket's folder and raw queues whose back end copies each
// job (the PDF Qt sent) into out/ there. Ended by its PID when the object goes.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <chrono>

namespace tarn::editor::testing {

class PrivateCups {
  public:
    PrivateCups() = default;
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;
    ~PrivateCups();

    // Starts the scheduler and adds psvQueue as the default printer. On
    // failure returns false with the reason in error().
    bool start(const QString& psvQueue);
    const QString& error() const { return msvError; }
    // One more raw queue into the same folder (not the default).
    bool addQueue(const QString& psvQueue);

    // Waits (bounded) until the queues are idle and at least plCount jobs
    // have arrived; returns their files (job-ID-QUEUE.pdf), oldest first.
    QStringList waitForJobs(int plCount, std::chrono::milliseconds pLimit) const;

  private:
    // Runs a CUPS client program against the scheduler; false when it fails.
    bool client(const QString& psvProgram, const QStringList& pArgs,
                QString* pOutput = nullptr) const;
    bool fail(const QString& psvWhy);
    void stop();

    QString msvRoot;
    QString msvError;
    QProcess mDaemon;
};

}  // namespace tarn::editor::testing
