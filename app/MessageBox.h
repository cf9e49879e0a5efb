// The program's message boxes: modal, one OK button, a caption and either the
// exclamation icon or none. Texts are shown as plain text, never as markup,
// since some repeat what the user typed.
#pragma once

#include <QString>

class QWidget;

enum class MessageIcon { None, Exclamation };

// Returns when the user has closed the box; owner may be null.
void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon);

// The application's name as message captions use it: the program file's
// name without its extension.
QString AppNameCaption();
