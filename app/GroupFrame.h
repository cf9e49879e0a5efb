// A group box as Windows draws one: a frame whose top edge runs through the
// middle of its caption, drawn beneath its neighbours and holding none of
// them (Qt's QGroupBox is a container and puts the caption above the frame).
#pragma once

#include <QString>
#include <QWidget>

class GroupFrame final : public QWidget {
public:
    GroupFrame(const QString& title, Qt::Alignment titleAlignment, QWidget* parent = nullptr);
    const QString& Title() const { return m_title; }
    // Where the caption is drawn, in the frame's coordinates.
    QRect TitleRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    Qt::Alignment m_titleAlignment;
};
