// SPDX-License-Identifier: GPL-3.0-or-later
#include "GuiTest.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>

namespace tarn::guitest {

std::string readBytes(const QString& psvPath) {
    QFile file(psvPath);
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll().toStdString();
}

void writeBytes(const QString& psvPath, const std::string& psvBytes) {
    QFile file(psvPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << psvPath.toStdString();
    ASSERT_EQ(file.write(psvBytes.data(), static_cast<qint64>(psvBytes.size())),
              static_cast<qint64>(psvBytes.size()));
}

QPoint centred(const frmTarn& poForm) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize window = poForm.designedSize(false);
    return QPoint(screen.x() + screen.width() / 2 - window.width() / 2,
                  screen.y() + screen.height() / 2 - window.height() / 2);
}

void PlayerTest::SetUp() {
    ASSERT_TRUE(mDir.isValid());
    setSettingsFolder(path("config"));
}

void PlayerTest::TearDown() {
    for (QWidget* window : QApplication::topLevelWidgets())
        window->close();
    QApplication::processEvents();
    setSettingsFolder(QString());
}

QString PlayerTest::macro(const std::string& psvBytes, const QString& psvName) {
    const QString file = path(psvName);
    writeBytes(file, psvBytes);
    return file;
}

std::unique_ptr<frmTarn> PlayerTest::makeForm(std::optional<std::string> psvCommandLine) {
    auto form = std::make_unique<frmTarn>(mFake.platform(), std::move(psvCommandLine));
    form->setTraceFilePath(tracePath());
    form->setQuestionHook(mQuestions.hook());
    return form;
}

std::unique_ptr<frmTarn> PlayerTest::interactiveOn(const QString& psvMacro) {
    auto form = makeForm();
    form->Form_Load();
    fileBox(*form)->setText(psvMacro);
    return form;
}

}  // namespace tarn::guitest
