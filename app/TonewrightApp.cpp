#include "app/TonewrightApp.h"

#include "app/TonewrightDlg.h"

bool CTonewrightApp::InitInstance()
{
    CTonewrightDlg dlg;
    dlg.DoModal();
    return false;
}
