// Renders the running dialog into a PNG file, for the documentation:
// start-up as the program does it, one picture, then Exit and the shutdown.
//   tonewright-screenshot docs/dialog.png
#include "app/TonewrightDlg.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    CTonewrightDlg dlg;
    bool saved = false;
    // Once the modal loop runs, the window has been shown and laid out.
    QTimer::singleShot(200, &dlg, [&] {
        saved = dlg.isVisible() && dlg.grab().save(QString::fromLocal8Bit(argv[1]), "PNG");
        dlg.reject();
    });
    dlg.DoModal();
    if (!saved) std::fprintf(stderr, "%s: no picture of the dialog was saved\n", argv[0]);
    return saved ? 0 : 1;
}
