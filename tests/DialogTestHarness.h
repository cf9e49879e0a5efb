// What the dialog tests share: one offscreen QApplication, a watcher that
// records and closes message boxes, waiting while Qt's events run, the
// dialog run modally around a test body, and the debug log read back.
#pragma once

#include "app/TonewrightDlg.h"
#include "platform/Registry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// fontconfig keeps a cache from its first use to the process's end, which
// LeakSanitizer reports; nothing of ours. One test file per binary includes this.
extern "C" __attribute__((used)) inline const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

// Qt's raster engine fills large areas on its own thread pool, synchronised
// inside Qt, which is not built for ThreadSanitizer: the allocations Qt makes
// and frees there look like races. Only calls made from Qt itself are excused.
extern "C" __attribute__((used)) inline const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\ncalled_from_lib:libQt6Gui.so.6\n";
}

// Never destroyed: a QApplication must not outlive main() into the exit-time
// destructors, which have taken Qt's own globals by then.
inline QApplication& DialogTestApp()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tonewright-test";
    static char* argv[] = {name, nullptr};
    static QApplication* const application = new QApplication(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return *application;
}

// Runs Qt's events until done() holds or the time is up; done()'s last answer.
inline bool WaitUntil(const std::function<bool()>& done, int milliseconds = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline void RunEventsFor(int milliseconds)
{
    WaitUntil([] { return false; }, milliseconds);
}

struct SeenMessageBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    bool modal;
};

// Every message box that appears while it lives is recorded; modal ones
// are answered with OK at once, non-modal ones too unless told to leave them.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(bool closeNonModal = true) : m_bCloseNonModal(closeNonModal)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Look(); });
        m_timer.start(5);
    }

    std::vector<SeenMessageBox> seen;
    bool m_bCloseNonModal;

    // The boxes still open.
    std::vector<QMessageBox*> OpenBoxes() const
    {
        std::vector<QMessageBox*> open;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
                open.push_back(box);
        return open;
    }
    int CountWithText(const QString& text) const
    {
        int count = 0;
        for (const SeenMessageBox& box : seen)
            if (box.text == text) ++count;
        return count;
    }
    void CloseAll()
    {
        for (QMessageBox* box : OpenBoxes())
            if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
    }

private:
    void Look()
    {
        for (QMessageBox* box : OpenBoxes()) {
            bool known = false;
            for (const QPointer<QMessageBox>& old : m_known)
                if (old == box) known = true;
            if (!known) {
                m_known.emplace_back(box);
                seen.push_back({box->windowTitle(), box->text(), box->icon(),
                                box->windowModality() != Qt::NonModal});
            }
            if (m_bCloseNonModal || box->windowModality() != Qt::NonModal)
                if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
        }
    }

    QTimer m_timer;
    std::vector<QPointer<QMessageBox>> m_known;
};

// Runs the dialog as the program does, with body run inside its modal loop
// once start-up is done; Exit is pressed after body.
inline void RunDialog(CTonewrightDlg& dlg, const std::function<void()>& body)
{
    QTimer::singleShot(0, &dlg, [&dlg, body] {
        if (dlg.isVisible()) body();
        dlg.reject();
    });
    dlg.DoModal();
}

inline std::string ReadTextFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

inline int CountOccurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The registry read from these folders only, from now on.
inline void UseRegistryFolders(const std::string& folders)
{
    setenv("TONEWRIGHT_REGISTRY", folders.c_str(), 1);
    RegistryReload();
}
