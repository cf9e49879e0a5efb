#include "app/GroupFrame.h"

#include <QPainter>
#include <QPalette>

namespace {

// Room left and right of the caption inside the gap of the top edge.
constexpr int kTitleGap = 2;
// Distance of a left-aligned caption from the frame's left edge.
constexpr int kTitleIndent = 8;

} // namespace

GroupFrame::GroupFrame(const QString& title, Qt::Alignment titleAlignment, QWidget* parent)
    : QWidget(parent), m_title(title), m_titleAlignment(titleAlignment)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

QRect GroupFrame::TitleRect() const
{
    if (m_title.isEmpty()) return QRect();
    const QFontMetrics metrics(font());
    const int width = metrics.horizontalAdvance(m_title);
    const int x =
        (m_titleAlignment & Qt::AlignHCenter) != 0 ? (this->width() - width) / 2 : kTitleIndent;
    return QRect(x, 0, width, metrics.height());
}

void GroupFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect title = TitleRect();
    const int top = QFontMetrics(font()).height() / 2;
    const QRect frame(0, top, width() - 1, height() - top - 1);

    // An etched line: dark, then light one pixel further in.
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.adjusted(1, 1, 0, 0));

    if (title.isNull()) return;
    painter.fillRect(title.adjusted(-kTitleGap, 0, kTitleGap, 0),
                     palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(title, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, m_title);
}
