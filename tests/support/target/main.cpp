// SPDX-License-Identifier: GPL-3.0-or-later
// tarn_target: a Qt program whose windows tests find, focus, close and type
// into. It reads one command per line on stdin and answers each with exactly
// one line on stdout: "ok" and a payload, or "error" and a reason. Text in
// payloads is percent-encoded (see encode()) so that a reply stays one line
// and one token. Commands (NAME is one word, TITLE the rest of the line):
//
//   window NAME TITLE     new window with a line edit; replies its X window ID
//   shy NAME TITLE        the same, but one that takes no keyboard focus
//                         (WM_HINTS input false) from its first showing
//   hide NAME | show NAME | rename NAME TITLE
//   close NAME            destroys the window at once
//   askclose NAME         from now on the window refuses every close request
//   closes NAME           how many close requests the window has received
//   text NAME             the editor's text
//   keys NAME             the key events the window received, oldest first:
//                         "d|u:KEY:MODS:SCANCODE:STATE:TEXT" separated by
//                         spaces (d press, u release, hex numbers)
//   clear NAME            empties the editor and the key log
//   active NAME           1 when the window is the active window, else 0
//   after MS COMMAND...   replies at once, runs the command MS milliseconds later
//                         (its reply is dropped): a window that appears later
//   churn on|off          keeps creating and destroying a window "churn" on
//                         every pass of the event loop
//   pid                   the process ID
//   quit                  replies, then ends
//
// End of stdin ends the program too, so a test that dies leaves no target behind.

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string encode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c > 0x20 && c < 0x7F && c != '%' && c != ':') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string hexNumber(unsigned long long value) {
    return QByteArray::number(value, 16).toStdString();
}

class TargetWindow : public QWidget {
  public:
    TargetWindow(const QString& title, bool withEditor) {
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowTitle(title);
        resize(320, withEditor ? 120 : 60);
        if (!withEditor) return;
        line = new QLineEdit(this);
        (new QVBoxLayout(this))->addWidget(line);
        line->installEventFilter(this);
        line->setFocus();
    }

    std::string text() const { return line ? line->text().toStdString() : std::string(); }
    void clear() {
        if (line) line->clear();
        keys.clear();
    }

    std::string keys;  // the line edit's key events, as the command "keys" replies
    bool refuseClose = false;
    int closeRequests = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!keys.empty()) keys += ' ';
            keys += (event->type() == QEvent::KeyPress ? "d:" : "u:") +
                    hexNumber(static_cast<unsigned>(key->key())) + ":" +
                    hexNumber(static_cast<unsigned>(key->modifiers().toInt())) + ":" +
                    hexNumber(key->nativeScanCode()) + ":" + hexNumber(key->nativeModifiers()) +
                    ":" + encode(key->text().toStdString());
        }
        return QWidget::eventFilter(watched, event);
    }

    void closeEvent(QCloseEvent* event) override {
        ++closeRequests;
        event->setAccepted(!refuseClose);
    }

  private:
    QLineEdit* line = nullptr;
};

class Target {
  public:
    Target() : notifier_(STDIN_FILENO, QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { readInput(); });
        churn_.setInterval(0);
        QObject::connect(&churn_, &QTimer::timeout, [this] { churnOnce(); });
    }

  private:
    void readInput() {
        char buffer[4096];
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            notifier_.setEnabled(false);
            QApplication::quit();
            return;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = pending_.find('\n')) != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            reply(handle(line));
        }
    }

    static void reply(const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    TargetWindow* find(const std::string& name) {
        auto it = windows_.find(name);
        if (it == windows_.end() || it->second.isNull()) return nullptr;
        return it->second.data();
    }

    TargetWindow* create(const std::string& name, const std::string& title, bool withEditor,
                         Qt::WindowFlags flags = {}) {
        if (auto* old = find(name)) delete old;
        auto* window = new TargetWindow(QString::fromStdString(title), withEditor);
        // Flags changed on a shown window hide it and show it again: a
        // window manager that gets the request to map it before it has
        // finished with the unmap may leave it unmapped for good.
        if (flags) window->setWindowFlags(window->windowFlags() | flags);
        windows_[name] = window;
        window->show();
        return window;
    }

    std::string handle(const std::string& line) {
        // "COMMAND NAME rest of line"
        std::string command, name, rest;
        std::istringstream words(line);
        words >> command >> name;
        if (std::getline(words, rest)) rest.erase(0, 1);  // the title as given, spaces and all
        if (command == "pid") return "ok " + std::to_string(QApplication::applicationPid());
        if (command == "quit") {
            QTimer::singleShot(0, [] { QApplication::quit(); });
            return "ok";
        }
        if (command == "window") return "ok " + std::to_string(create(name, rest, true)->winId());
        if (command == "shy") {
            return "ok " +
                   std::to_string(create(name, rest, true, Qt::WindowDoesNotAcceptFocus)->winId());
        }
        if (command == "after") {
            QTimer::singleShot(std::stoi(name), [this, rest] { handle(rest); });
            return "ok";
        }
        if (command == "churn") {
            name == "on" ? churn_.start() : churn_.stop();
            return "ok";
        }
        auto* window = find(name);
        if (!window) return "error no window " + name;
        if (command == "hide") {
            window->hide();
        } else if (command == "show") {
            window->show();
        } else if (command == "rename") {
            window->setWindowTitle(QString::fromStdString(rest));
        } else if (command == "close") {
            delete window;
        } else if (command == "askclose") {
            window->refuseClose = true;
        } else if (command == "closes") {
            return "ok " + std::to_string(window->closeRequests);
        } else if (command == "text") {
            return "ok " + encode(window->text());
        } else if (command == "keys") {
            return "ok " + window->keys;
        } else if (command == "clear") {
            window->clear();
        } else if (command == "active") {
            return window->isActiveWindow() ? "ok 1" : "ok 0";
        } else {
            return "error unknown command " + command;
        }
        return "ok";
    }

    void churnOnce() {
        if (auto* window = find("churn"))
            delete window;
        else
            create("churn", "churn", false);
    }

    QSocketNotifier notifier_;
    QTimer churn_;
    std::string pending_;
    std::map<std::string, QPointer<TargetWindow>> windows_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Target target;
    return app.exec();
}
