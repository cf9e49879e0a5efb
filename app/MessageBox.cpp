#include "app/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    caption, text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString AppNameCaption()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}
