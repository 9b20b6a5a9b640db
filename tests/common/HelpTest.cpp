// SPDX-License-Identifier: GPL-3.0-or-later
// The Help Topics window on each tab, the help file setting, and the help pages
// themselves: every contents and index entry, and every link between pages,
// leads to a page and anchor that exist; the statements, failure numbers and key
// names are all documented.

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

TEST_F(HelpWindow, TopicsOpenOnTheContentsTab) {
    ASSERT_TRUE(tarn::showHelpTopics(nullptr));
    QWidget* window = tarn::helpTopicsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->objectName(), "frmHelpTopics");
    auto* tabs = child<QTabWidget>("tabHelp");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentWidget(), child<QTreeWidget>("tvwContents"));
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), "Contents");
    auto* topic = child<QTextBrowser>("txtTopic");
    ASSERT_NE(topic, nullptr);
    EXPECT_EQ(topic->source(), QUrl("qrc:/help/index.html"));
    EXPECT_FALSE(topic->toPlainText().trimmed().isEmpty());
    EXPECT_GT(child<QTreeWidget>("tvwContents")->topLevelItemCount(), 3);
}

TEST_F(HelpWindow, ChoosingAContentsEntryShowsItsPage) {
    ASSERT_TRUE(tarn::showHelpTopics(nullptr));
    auto* tree = child<QTreeWidget>("tvwContents");
    QTreeWidgetItem* last = tree->topLevelItem(tree->topLevelItemCount() - 1);
    tree->setCurrentItem(last);
    EXPECT_EQ(child<QTextBrowser>("txtTopic")->source(),
              HelpTopicsWindow::topicUrl(last->data(0, Qt::UserRole).toString()));
}

TEST_F(HelpWindow, IndexOpensOnTheIndexTabWithThePartialKey) {
    ASSERT_TRUE(tarn::showHelpIndex(nullptr, QStringLiteral("sen")));
    auto* tabs = child<QTabWidget>("tabHelp");
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), "Index");
    auto* filter = child<QLineEdit>("txtIndexFilter");
    auto* list = child<QListWidget>("lstIndex");
    ASSERT_NE(filter, nullptr);
    ASSERT_NE(list, nullptr);
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

    // Enter in the filter box shows the chosen keyword's page.
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_EQ(child<QTextBrowser>("txtTopic")->source(),
              HelpTopicsWindow::topicUrl(list->currentItem()->data(Qt::UserRole).toString()));
}

TEST_F(HelpWindow, EmptyKeyShowsTheWholeIndexAndTypingFilters) {
    ASSERT_TRUE(tarn::showHelpIndex(nullptr, QStringLiteral("no such keyword")));
    auto* list = child<QListWidget>("lstIndex");
    EXPECT_EQ(list->currentItem(), nullptr);
    ASSERT_TRUE(tarn::showHelpIndex(nullptr));
    for (int row = 0; row < list->count(); ++row)
        EXPECT_FALSE(list->item(row)->isHidden());
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_EQ(list->currentRow(), 0);

    QTest::keyClicks(child<QLineEdit>("txtIndexFilter"), "1008");
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_TRUE(list->currentItem()->text().contains("1008"));
}

TEST_F(HelpWindow, IndexListsNumbersInNumericOrder) {
    ASSERT_TRUE(tarn::showHelpIndex(nullptr, QStringLiteral("Error ")));
    auto* list = child<QListWidget>("lstIndex");
    QStringList shown;
    for (int row = 0; row < list->count(); ++row)
        if (!list->item(row)->isHidden()) shown << list->item(row)->text();
    const auto at = [&](const char* text) { return shown.indexOf(QString(text)); };
    ASSERT_GE(at("Error 5"), 0);
    EXPECT_LT(at("Error 5"), at("Error 13"));
    EXPECT_LT(at("Error 13"), at("Error 1001"));
    EXPECT_EQ(list->currentItem()->text(), "Error 5");
}

TEST_F(HelpWindow, CaptionNamesTheProgramOnce) {
    ASSERT_TRUE(tarn::showHelpTopics(nullptr));
    QWidget* window = tarn::helpTopicsWindow();
    EXPECT_EQ(window->windowTitle(), "Tarn Help");
    HelpTopicsWindow* topics = qobject_cast<HelpTopicsWindow*>(window);
    ASSERT_NE(topics, nullptr);
    topics->showTopic(QStringLiteral("run.html"));
    EXPECT_EQ(window->windowTitle(), "Tarn Help - Run statement");
}

TEST_F(HelpWindow, OpensWhollyOnTheScreenOverAWindowInACorner) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget player;
    player.setFixedSize(480, 40);
    player.move(area.right() - 200, area.bottom() - 20);
    player.show();
    ASSERT_TRUE(tarn::showHelpTopics(&player));
    const QRect help = tarn::helpTopicsWindow()->frameGeometry();
    EXPECT_TRUE(area.contains(help))
        << help.x() << "," << help.y() << " " << help.width() << "x" << help.height();
}

TEST_F(HelpWindow, OneWindowServesBothCalls) {
    ASSERT_TRUE(tarn::showHelpIndex(nullptr, QStringLiteral("Run")));
    QWidget* first = tarn::helpTopicsWindow();
    ASSERT_TRUE(tarn::showHelpTopics(nullptr));
    EXPECT_EQ(tarn::helpTopicsWindow(), first);
    auto* tabs = child<QTabWidget>("tabHelp");
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), "Contents");
}

TEST_F(HelpWindow, NothingOpensWhileTheHelpFileIsCleared) {
    if (QWidget* window = tarn::helpTopicsWindow()) window->close();
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
    // Asked for again without a modal dialog, help is an ordinary window.
    ASSERT_TRUE(tarn::showHelpTopics(nullptr));
    EXPECT_EQ(tarn::helpTopicsWindow()->windowModality(), Qt::NonModal);
}

TEST_F(HelpWindow, OpenHelpDoesNotKeepTheProgramRunning) {
    QWidget player;
    player.show();
    ASSERT_TRUE(tarn::showHelpTopics(&player));
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
    // Ending the program closes help with it.
    EXPECT_FALSE(tarn::helpTopicsWindow()->isVisible());
}

// --- The pages -------------------------------------------------------------

QString page(const QString& name) {
    QFile file(":/help/" + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool hasAnchor(const QString& html, const QString& anchor) {
    const QRegularExpression pattern("\\b(id|name)=\"" + QRegularExpression::escape(anchor) + "\"");
    return html.contains(pattern);
}

// "" when the target (page.html or page.html#anchor) exists, else what is missing.
QString missing(const QString& target) {
    const QString file = target.section('#', 0, 0);
    const QString anchor = target.section('#', 1);
    const QString html = page(file);
    if (html.isEmpty()) return "no page " + file;
    if (!anchor.isEmpty() && !hasAnchor(html, anchor)) return "no anchor " + target;
    return QString();
}

TEST(HelpPages, EveryContentsAndIndexEntryLeadsSomewhere) {
    const auto contents = HelpTopicsWindow::readContents();
    const auto index = HelpTopicsWindow::readIndex();
    EXPECT_GT(contents.size(), 10u);
    EXPECT_GT(index.size(), 60u);
    for (const auto* list : {&contents, &index})
        for (const auto& entry : *list)
            EXPECT_EQ(missing(entry.target), QString()) << entry.title.toStdString();
}

TEST(HelpPages, IndexKeywordsAreUnique) {
    std::set<QString> seen;
    for (const auto& entry : HelpTopicsWindow::readIndex())
        EXPECT_TRUE(seen.insert(entry.title.toLower()).second) << entry.title.toStdString();
}

TEST(HelpPages, EveryLinkBetweenPagesLeadsSomewhere) {
    QStringList pages;
    for (const auto& entry : HelpTopicsWindow::readContents())
        pages << entry.target.section('#', 0, 0);
    pages.removeDuplicates();
    const QRegularExpression link("href=\"([^\"]+)\"");
    int links = 0;
    for (const QString& name : pages) {
        const QString html = page(name);
        for (const auto& match : link.globalMatch(html)) {
            QString target = match.captured(1);
            if (target.startsWith("http:") || target.startsWith("https:")) continue;
            if (target.startsWith('#')) target = name + target;
            ++links;
            EXPECT_EQ(missing(target), QString()) << "in " << name.toStdString();
        }
    }
    EXPECT_GT(links, 50);
}

TEST(HelpPages, EveryPageIsInTheContents) {
    QStringList listed;
    for (const auto& entry : HelpTopicsWindow::readContents())
        listed << entry.target.section('#', 0, 0);
    for (const QString& name : QDir(":/help").entryList({"*.html"}))
        EXPECT_TRUE(listed.contains(name)) << name.toStdString();
}

bool indexHas(const QString& keyword) {
    for (const auto& entry : HelpTopicsWindow::readIndex())
        if (entry.title.compare(keyword, Qt::CaseInsensitive) == 0) return true;
    return false;
}

TEST(HelpPages, EveryStatementHasAnIndexEntry) {
    for (const char* statement :
         {"Rem", "Assignment", "Run", "RunExecute", "SetFocus", "Send", "Wait", "TimeOut",
          "GetWindowID", "GetProcessID", "CloseWindow", "KillProcess", "ShutDownWindows"})
        EXPECT_TRUE(indexHas(QString(statement) + " statement")) << statement;
}

TEST(HelpPages, EveryFailureNumberIsExplained) {
    const QString errors = page("errors.html");
    for (int number :
         {5, 6, 7, 9, 13, 28, 51, 52, 53, 70, 75, 76, 1001, 1002, 1005, 1008, 1009, 1010}) {
        EXPECT_TRUE(indexHas(QString("Error %1").arg(number))) << number;
        EXPECT_TRUE(hasAnchor(errors, QString("e%1").arg(number))) << number;
    }
}

TEST(HelpPages, EveryKeyNameIsDocumented) {
    const QString keys = page("keys.html");
    for (const char* name :
         {"{BACKSPACE}", "{BS}",     "{BKSP}",       "{BREAK}",   "{CAPSLOCK}", "{DELETE}",
          "{DEL}",       "{DOWN}",   "{END}",        "{ENTER}",   "{ESC}",      "{HOME}",
          "{INSERT}",    "{INS}",    "{LEFT}",       "{NUMLOCK}", "{PGDN}",     "{PGUP}",
          "{PRTSC}",     "{RIGHT}",  "{SCROLLLOCK}", "{TAB}",     "{UP}",       "{F1}",
          "{F16}",       "{LWIN}",   "{RWIN}",       "{APPS}",    "{ADD}",      "{SUBTRACT}",
          "{MULTIPLY}",  "{DIVIDE}", "{LEFT 5}",     "10,000",    "{{}",        "{}}",
          "{+}",         "{^}",      "{%}",          "{~}",       "{(}",        "{)}",
          "{[}",         "{]}"})
        EXPECT_TRUE(keys.contains(QString(name).toHtmlEscaped())) << name;
}

}  // namespace
