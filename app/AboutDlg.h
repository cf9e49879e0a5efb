// The About box, template IDD_ABOUTBOX: the icon, the program's name and
// version, and OK. No fields, no data exchange, no handlers of its own.
#pragma once

#include <QDialog>

class CAboutDlg final : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    // Runs the box modally; IDOK or IDCANCEL.
    int DoModal();
};
