// SPDX-License-Identifier: GPL-3.0-or-later
// The Help Topics window on each tab, the help file setting, and the help pages
// themselves: every contents and index entry, and every link between pages,
// leads to a page and anchor that exist.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <set>

#include "Help.h"
#include "HelpTopics.h"
#include "ModalWatch.h"

namespace {

using tarn::HelpTopicsWindow;

template <class T>
T* child(const char* name) {
    QWidget* window = tarn::helpTopicsWindow();
    return window ? window->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

class HelpWindow : public testing::Test {
  protected:
    // Every test starts with no help window, as a program does.
    void SetUp() override { delete tarn::helpTopicsWindow(); }
    void TearDown() override {
        if (QWidget* window = tarn::helpTopicsWindow()) window->close();
        tarn::setHelpFile(QStringLiteral("Tarn.hlp"));
    }
};

TEST_F(HelpWindow, TopicsOpenOnTheContentsTabAndShowTheChosenPage) {
    ASSERT_TRUE(tarn::showHelpIndex(nullptr, QStringLiteral("Run")));
    QWidget* window = tarn::helpTopicsWindow();
    ASSERT_TRUE(tarn::showHelpTopics(nullptr));
    EXPECT_EQ(tarn::helpTopicsWindow(), window);  // one window serves both calls
    EXPECT_TRUE(window->isVisible());
    auto* tabs = child<QTabWidget>("tabHelp");
    auto* tree = child<QTreeWidget>("tvwContents");
    auto* topic = child<QTextBrowser>("txtTopic");
    ASSERT_TRUE(tabs && tree && topic);
    EXPECT_EQ(tabs->currentWidget(), tree);
    EXPECT_EQ(topic->source(), QUrl("qrc:/help/index.html"));
    EXPECT_FALSE(topic->toPlainText().trimmed().isEmpty());
    ASSERT_GT(tree->topLevelItemCount(), 3);
    QTreeWidgetItem* last = tree->topLevelItem(tree->topLevelItemCount() - 1);
    tree->setCurrentItem(last);
    EXPECT_EQ(topic->source(), HelpTopicsWindow::topicUrl(last->data(0, Qt::UserRole).toString()));
    // The caption names the program once.
    qobject_cast<HelpTopicsWindow*>(window)->showTopic(QStringLiteral("index.html"));
    EXPECT_EQ(window->windowTitle(), "Tarn Help");
    qobject_cast<HelpTopicsWindow*>(window)->showTopic(QStringLiteral("run.html"));
    EXPECT_EQ(window->windowTitle(), "Tarn Help - Run statement");
}

TEST_F(HelpWindow, IndexShowsTheKeywordsHoldingThePartialKeyInReadingOrder) {
    ASSERT_TRUE(tarn::showHelpIndex(nullptr, QStringLiteral("no such keyword")));
    auto* list = child<QListWidget>("lstIndex");
    auto* filter = child<QLineEdit>("txtIndexFilter");
    ASSERT_TRUE(list && filter);
    EXPECT_EQ(list->currentItem(), nullptr);
    ASSERT_TRUE(tarn::showHelpIndex(nullptr, QStringLiteral("sen")));
    auto* tabs = child<QTabWidget>("tabHelp");
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), "Index");
    EXPECT_EQ(filter->text(), "sen");
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_TRUE(list->currentItem()->text().startsWith("Send", Qt::CaseInsensitive))
        << list->currentItem()->text().toStdString();
    int shown = 0;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isHidden()) continue;
        ++shown;
        EXPECT_TRUE(list->item(row)->text().contains("sen", Qt::CaseInsensitive));
    }
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, list->count());
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_EQ(child<QTextBrowser>("txtTopic")->source(),
              HelpTopicsWindow::topicUrl(list->currentItem()->data(Qt::UserRole).toString()));

    ASSERT_TRUE(tarn::showHelpIndex(nullptr));
    for (int row = 0; row < list->count(); ++row)
        EXPECT_FALSE(list->item(row)->isHidden());
    EXPECT_EQ(list->currentRow(), 0);
    QTest::keyClicks(filter, "1008");
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_TRUE(list->currentItem()->text().contains("1008"));

    // In reading order: numbers in numeric order, a keyword before the longer
    // ones it begins.
    ASSERT_TRUE(tarn::showHelpIndex(nullptr, QStringLiteral("Error ")));
    EXPECT_EQ(list->currentItem()->text(), "Error 5");
    QStringList all;
    for (int row = 0; row < list->count(); ++row)
        all << list->item(row)->text();
    const auto at = [&](const char* text) { return all.indexOf(QString(text)); };
    ASSERT_GE(at("Error 5"), 0);
    EXPECT_LT(at("Error 5"), at("Error 13"));
    EXPECT_LT(at("Error 13"), at("Error 1001"));
    ASSERT_GE(at("Exit status"), 0);
    EXPECT_LT(at("Exit status"), at("Exit status of a batch run"));
}

TEST_F(HelpWindow, NothingOpensWhileTheHelpFileIsCleared) {
    tarn::setHelpFile(QString());
    EXPECT_FALSE(tarn::showHelpTopics(nullptr));
    EXPECT_FALSE(tarn::showHelpIndex(nullptr));
    QWidget* window = tarn::helpTopicsWindow();
    EXPECT_TRUE(window == nullptr || !window->isVisible());
    tarn::setHelpFile(tarn::programHelpFile());
    EXPECT_TRUE(tarn::programHelpFile().endsWith("/tarn.hlp"));
    EXPECT_TRUE(tarn::showHelpTopics(nullptr));
}

TEST_F(HelpWindow, HelpAskedForFromAModalDialogCanBeUsed) {
    QDialog dialog;
    bool helpWasModal = false;
    ModalWatch watch([&](QWidget*) {
        tarn::showHelpTopics(&dialog);
        helpWasModal = QApplication::activeModalWidget() == tarn::helpTopicsWindow();
        tarn::helpTopicsWindow()->close();
        dialog.reject();
    });
    dialog.exec();
    EXPECT_TRUE(watch.seen());
    EXPECT_TRUE(helpWasModal);
    ASSERT_TRUE(tarn::showHelpTopics(nullptr));
    EXPECT_EQ(tarn::helpTopicsWindow()->windowModality(), Qt::NonModal);
}

TEST_F(HelpWindow, OpensOnTheScreenAndDoesNotKeepTheProgramRunning) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget player;
    player.setFixedSize(480, 40);
    player.move(area.right() - 200, area.bottom() - 20);
    player.show();
    ASSERT_TRUE(tarn::showHelpTopics(&player));
    const QRect help = tarn::helpTopicsWindow()->frameGeometry();
    EXPECT_TRUE(area.contains(help))
        << help.x() << "," << help.y() << " " << help.width() << "x" << help.height();
    bool lastClosed = false;
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &player, [&] { lastClosed = true; });
    // The program's event loop ends when its last window closes; help is no window
    // that counts. The limit ends the loop should that not happen.
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, qApp, &QCoreApplication::quit);
    limit.start(5000);
    QTimer::singleShot(0, &player, [&] { player.close(); });
    qApp->exec();
    EXPECT_TRUE(limit.isActive()) << "the event loop did not end when the player closed";
    limit.stop();
    EXPECT_TRUE(lastClosed);
    EXPECT_FALSE(tarn::helpTopicsWindow()->isVisible());
}

QString page(const QString& name) {
    QFile file(":/help/" + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// "" when the target (page.html or page.html#anchor) exists, else what is missing.
QString missing(const QString& target) {
    const QString file = target.section('#', 0, 0);
    const QString anchor = target.section('#', 1);
    const QString html = page(file);
    if (html.isEmpty()) return "no page " + file;
    const QRegularExpression id("\\b(id|name)=\"" + QRegularExpression::escape(anchor) + "\"");
    if (!anchor.isEmpty() && !html.contains(id)) return "no anchor " + target;
    return QString();
}

TEST(HelpPages, EveryEntryAndLinkLeadsToAPageInTheContents) {
    const auto contents = HelpTopicsWindow::readContents();
    const auto index = HelpTopicsWindow::readIndex();
    EXPECT_GT(contents.size(), 10u);
    EXPECT_GT(index.size(), 60u);
    std::set<QString> keywords;
    for (const auto& entry : index)
        EXPECT_TRUE(keywords.insert(entry.title.toLower()).second) << entry.title.toStdString();
    QStringList pages;
    for (const auto* list : {&contents, &index})
        for (const auto& entry : *list)
            EXPECT_EQ(missing(entry.target), QString()) << entry.title.toStdString();
    for (const auto& entry : contents)
        pages << entry.target.section('#', 0, 0);
    pages.removeDuplicates();
    for (const QString& name : QDir(":/help").entryList({"*.html"}))
        EXPECT_TRUE(pages.contains(name)) << name.toStdString();
    const QRegularExpression link("href=\"([^\"]+)\"");
    int links = 0;
    for (const QString& name : pages) {
        for (const auto& match : link.globalMatch(page(name))) {
            QString target = match.captured(1);
            if (target.startsWith("http:") || target.startsWith("https:")) continue;
            if (target.startsWith('#')) target = name + target;
            ++links;
            EXPECT_EQ(missing(target), QString()) << "in " << name.toStdString();
        }
    }
    EXPECT_GT(links, 50);
}

}  // namespace
