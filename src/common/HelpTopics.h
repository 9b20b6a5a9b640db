// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Help Topics window behind showHelpTopics and showHelpIndex (Help.h): the
// Contents tab (a tree of the pages), the Index tab (keywords with a filter box)
// and the page itself in a browser beside them. Its pages, contents and index
// come from the resources under ":/help": contents.txt lists the tree, one
// "Title|page.html" per line, indented two blanks per level; index.txt lists
// "keyword|page.html#anchor" lines.
//
// Object names: frmHelpTopics (the window), tabHelp, tvwContents,
// txtIndexFilter, lstIndex, cmdDisplay, txtTopic (the browser), cmdBack,
// cmdForward, cmdHome.

#include <QString>
#include <QUrl>
#include <QWidget>
#include <vector>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarn {

class HelpTopicsWindow : public QWidget {
    Q_OBJECT
  public:
    struct Entry {
        QString title;   // the keyword on the Index tab
        QString target;  // page, with an optional "#anchor"
        int level = 0;   // depth on the Contents tab
    };

    HelpTopicsWindow();

    // The tree of contents.txt and the keywords of index.txt, as loaded.
    static std::vector<Entry> readContents();
    static std::vector<Entry> readIndex();
    // "qrc:/help/" + target.
    static QUrl topicUrl(const QString& psvTarget);

    void showContents();
    void showIndex(const QString& psvPartialKey);
    void showTopic(const QString& psvTarget);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void filterIndex(const QString& psvText);
    void displayIndexItem(QListWidgetItem* item);

    QTabWidget* tabHelp;
    QTreeWidget* tvwContents;
    QLineEdit* txtIndexFilter;
    QListWidget* lstIndex;
    QPushButton* cmdDisplay;
    QTextBrowser* txtTopic;
    QPushButton* cmdBack;
    QPushButton* cmdForward;
    QPushButton* cmdHome;
};

}  // namespace tarn
