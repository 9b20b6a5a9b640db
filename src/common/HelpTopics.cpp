// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelpTopics.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "Icons.h"
#include "ProgramInfo.h"
#include "Twips.h"

namespace tarn {

namespace {

constexpr char kHelpRoot[] = "qrc:/help/";
constexpr char kFirstPage[] = "index.html";

// The "Title|target" lines of a list under ":/help", with the depth given by
// the leading blanks (two a level). Blank lines and "#" lines are skipped.
std::vector<HelpTopicsWindow::Entry> readList(const QString& psvName) {
    std::vector<HelpTopicsWindow::Entry> entries;
    QFile file(QStringLiteral(":/help/") + psvName);
    if (!file.open(QIODevice::ReadOnly)) return entries;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line.remove(QLatin1Char('\r'));
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'))) continue;
        const int bar = trimmed.lastIndexOf(QLatin1Char('|'));
        if (bar <= 0) continue;
        int blanks = 0;
        while (blanks < line.size() && line.at(blanks) == QLatin1Char(' '))
            ++blanks;
        entries.push_back(
            {trimmed.left(bar).trimmed(), trimmed.mid(bar + 1).trimmed(), blanks / 2});
    }
    return entries;
}

constexpr int kTargetRole = Qt::UserRole;

// Text order without regard to letter case, in which a run of digits counts as its
// number. (QCollator's numeric mode depends on the locale and is lost in the C one.)
bool naturalLess(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            while (i + 1 < a.size() && a.at(i) == QLatin1Char('0') && a.at(i + 1).isDigit())
                ++i;
            while (j + 1 < b.size() && b.at(j) == QLatin1Char('0') && b.at(j + 1).isDigit())
                ++j;
            qsizetype endA = i, endB = j;
            while (endA < a.size() && a.at(endA).isDigit())
                ++endA;
            while (endB < b.size() && b.at(endB).isDigit())
                ++endB;
            // Without leading zeros, the longer run is the larger number.
            if (endA - i != endB - j) return endA - i < endB - j;
            const int digits =
                QStringView(a).mid(i, endA - i).compare(QStringView(b).mid(j, endB - j));
            if (digits != 0) return digits < 0;
            i = endA;
            j = endB;
            continue;
        }
        const QChar ca = a.at(i).toCaseFolded(), cb = b.at(j).toCaseFolded();
        if (ca != cb) return ca < cb;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

std::vector<HelpTopicsWindow::Entry> HelpTopicsWindow::readContents() {
    return readList(QStringLiteral("contents.txt"));
}

std::vector<HelpTopicsWindow::Entry> HelpTopicsWindow::readIndex() {
    return readList(QStringLiteral("index.txt"));
}

QUrl HelpTopicsWindow::topicUrl(const QString& psvTarget) {
    return QUrl(QLatin1String(kHelpRoot) + psvTarget);
}

HelpTopicsWindow::HelpTopicsWindow() : QWidget(nullptr, Qt::Window) {
    setObjectName(QStringLiteral("frmHelpTopics"));
    setWindowTitle(appTitle() + QStringLiteral(" Help Topics"));
    setWindowIcon(tarnIcon(TarnIcon::Help));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Help open on its own must not keep the program running after its windows close.
    setAttribute(Qt::WA_QuitOnClose, false);

    tabHelp = new QTabWidget;
    tabHelp->setObjectName(QStringLiteral("tabHelp"));

    tvwContents = new QTreeWidget;
    tvwContents->setObjectName(QStringLiteral("tvwContents"));
    tvwContents->setHeaderHidden(true);
    tvwContents->setColumnCount(1);
    std::vector<QTreeWidgetItem*> parents;
    for (const Entry& entry : readContents()) {
        parents.resize(std::min<std::size_t>(parents.size(), entry.level));
        auto* item = parents.empty() ? new QTreeWidgetItem(tvwContents)
                                     : new QTreeWidgetItem(parents.back());
        item->setText(0, entry.title);
        item->setData(0, kTargetRole, entry.target);
        parents.push_back(item);
    }
    tvwContents->expandToDepth(0);
    tabHelp->addTab(tvwContents, QStringLiteral("Contents"));

    auto* indexPage = new QWidget;
    indexPage->setObjectName(QStringLiteral("tabIndex"));
    txtIndexFilter = new QLineEdit;
    txtIndexFilter->setObjectName(QStringLiteral("txtIndexFilter"));
    txtIndexFilter->setPlaceholderText(QStringLiteral("Type the first letters of a word"));
    txtIndexFilter->setClearButtonEnabled(true);
    lstIndex = new QListWidget;
    lstIndex->setObjectName(QStringLiteral("lstIndex"));
    // Keywords in the order a reader expects: "Error 5" before "Error 13".
    std::vector<Entry> keywords = readIndex();
    std::stable_sort(keywords.begin(), keywords.end(),
                     [](const Entry& a, const Entry& b) { return naturalLess(a.title, b.title); });
    for (const Entry& entry : keywords) {
        auto* item = new QListWidgetItem(entry.title, lstIndex);
        item->setData(kTargetRole, entry.target);
    }
    cmdDisplay = new QPushButton(QStringLiteral("&Display"));
    cmdDisplay->setObjectName(QStringLiteral("cmdDisplay"));
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->addWidget(txtIndexFilter);
    indexLayout->addWidget(lstIndex, 1);
    indexLayout->addWidget(cmdDisplay, 0, Qt::AlignRight);
    tabHelp->addTab(indexPage, QStringLiteral("Index"));

    txtTopic = new QTextBrowser;
    txtTopic->setObjectName(QStringLiteral("txtTopic"));
    txtTopic->setOpenExternalLinks(true);
    cmdBack = new QPushButton(QStringLiteral("&Back"));
    cmdBack->setObjectName(QStringLiteral("cmdBack"));
    cmdForward = new QPushButton(QStringLiteral("&Forward"));
    cmdForward->setObjectName(QStringLiteral("cmdForward"));
    cmdHome = new QPushButton(QStringLiteral("&Contents"));
    cmdHome->setObjectName(QStringLiteral("cmdHome"));
    cmdBack->setEnabled(false);
    cmdForward->setEnabled(false);

    auto* topicPane = new QWidget;
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdHome);
    buttons->addWidget(cmdBack);
    buttons->addWidget(cmdForward);
    buttons->addStretch(1);
    auto* topicLayout = new QVBoxLayout(topicPane);
    topicLayout->setContentsMargins(0, 0, 0, 0);
    topicLayout->addLayout(buttons);
    topicLayout->addWidget(txtTopic, 1);

    auto* splitter = new QSplitter;
    splitter->setObjectName(QStringLiteral("splHelp"));
    splitter->addWidget(tabHelp);
    splitter->addWidget(topicPane);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({twipsToPixels(3600, this), twipsToPixels(8400, this)});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    resize(twipsToPixels(12000, this, Qt::Horizontal), twipsToPixels(8400, this, Qt::Vertical));

    connect(tvwContents, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) showTopic(item->data(0, kTargetRole).toString());
    });
    connect(tvwContents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item) showTopic(item->data(0, kTargetRole).toString());
    });
    connect(txtIndexFilter, &QLineEdit::textChanged, this, &HelpTopicsWindow::filterIndex);
    connect(txtIndexFilter, &QLineEdit::returnPressed, this,
            [this] { displayIndexItem(lstIndex->currentItem()); });
    connect(lstIndex, &QListWidget::itemActivated, this, &HelpTopicsWindow::displayIndexItem);
    connect(cmdDisplay, &QPushButton::clicked, this,
            [this] { displayIndexItem(lstIndex->currentItem()); });
    connect(cmdBack, &QPushButton::clicked, txtTopic, &QTextBrowser::backward);
    connect(cmdForward, &QPushButton::clicked, txtTopic, &QTextBrowser::forward);
    connect(cmdHome, &QPushButton::clicked, this, [this] { showTopic(QLatin1String(kFirstPage)); });
    connect(txtTopic, &QTextBrowser::backwardAvailable, cmdBack, &QPushButton::setEnabled);
    connect(txtTopic, &QTextBrowser::forwardAvailable, cmdForward, &QPushButton::setEnabled);
    connect(txtTopic, &QTextBrowser::sourceChanged, this, [this] {
        const QString help = appTitle() + QStringLiteral(" Help");
        const QString title = txtTopic->documentTitle();
        // The welcome page is titled after the help itself; it is not repeated.
        if (title.isEmpty())
            setWindowTitle(help + QStringLiteral(" Topics"));
        else if (title.startsWith(help, Qt::CaseInsensitive))
            setWindowTitle(title);
        else
            setWindowTitle(help + QStringLiteral(" - ") + title);
    });

    showTopic(QLatin1String(kFirstPage));
    filterIndex(QString());
}

void HelpTopicsWindow::showContents() {
    tabHelp->setCurrentIndex(0);
    tvwContents->setFocus();
}

void HelpTopicsWindow::showIndex(const QString& psvPartialKey) {
    tabHelp->setCurrentIndex(1);
    txtIndexFilter->setText(psvPartialKey);
    // setText does not signal when the text is the same; the list must still match.
    filterIndex(psvPartialKey);
    txtIndexFilter->setFocus();
    txtIndexFilter->selectAll();
}

void HelpTopicsWindow::showTopic(const QString& psvTarget) {
    if (psvTarget.isEmpty()) return;
    const QUrl url = topicUrl(psvTarget);
    if (txtTopic->source() == url) return;
    txtTopic->setSource(url);
}

void HelpTopicsWindow::filterIndex(const QString& psvText) {
    const QString text = psvText.trimmed();
    QListWidgetItem* firstShown = nullptr;
    QListWidgetItem* firstStarting = nullptr;
    for (int row = 0; row < lstIndex->count(); ++row) {
        QListWidgetItem* item = lstIndex->item(row);
        const bool shown = item->text().contains(text, Qt::CaseInsensitive);
        item->setHidden(!shown);
        if (!shown) continue;
        if (!firstShown) firstShown = item;
        if (!firstStarting && item->text().startsWith(text, Qt::CaseInsensitive))
            firstStarting = item;
    }
    QListWidgetItem* current = firstStarting ? firstStarting : firstShown;
    lstIndex->setCurrentItem(current);
    if (current) lstIndex->scrollToItem(current);
    cmdDisplay->setEnabled(current != nullptr);
}

void HelpTopicsWindow::displayIndexItem(QListWidgetItem* item) {
    if (!item || item->isHidden()) return;
    showTopic(item->data(kTargetRole).toString());
}

void HelpTopicsWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    // Up and down in the filter box walk the keyword list, as in a combo box.
    if (txtIndexFilter->hasFocus() &&
        (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        QApplication::sendEvent(lstIndex, event);
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tarn
