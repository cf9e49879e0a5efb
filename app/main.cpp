// The dialog program: Qt's application, then the application object's run.
#include "app/TonewrightApp.h"
#include "host/HostSession.h"

#include <QApplication>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

bool Set(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

} // namespace

int main(int argc, char** argv)
{
    // Without a display Qt aborts with a page of plugin advice; one line says
    // what to do instead.
    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "tonewright: no display to show the dialog on; play from the "
                             "command line instead: tonewright-play sine 1000 "
                             "(tonewright-play --help)\n");
        return 1;
    }
    QApplication application(argc, argv);
    // The user's locale from the environment (as QApplication set it already),
    // except for C's number formatting: the debug log and the fields write and
    // read numbers with '.' whatever the locale.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    // The debug log and the configuration file where Linux users look for
    // them, whatever folder the desktop started the program in.
    HostSession::UseUserFolders();
    CTonewrightApp theApp;
    theApp.InitInstance();
    return 0;
}
