#include "app/AboutDlg.h"

#include "app/AppIcon.h"
#include "app/DialogLayout.h"
#include "res/Resource.h"

#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    const DialogTemplate* dialogTemplate = FindDialogTemplate(IDD_ABOUTBOX);
    if (dialogTemplate == nullptr) return;
    const DialogControls controls = BuildDialog(*this, *dialogTemplate);
    setWindowIcon(LoadIcon(IDR_MAINFRAME));
    if (auto* ok = dynamic_cast<QPushButton*>(controls.ById(IDOK)))
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

int CAboutDlg::DoModal()
{
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}
