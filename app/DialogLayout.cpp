#include "app/DialogLayout.h"

#include "app/AppIcon.h"
#include "app/GroupFrame.h"
#include "app/SimpleComboBox.h"
#include "res/Resource.h"

#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cstdlib>

namespace {

// List items as high as the font, as a Windows list box draws them; Qt's
// styles leave more room, which would hide entries the layout must show.
class FontHeightItemDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(option.fontMetrics.height());
        return size;
    }
};

QListWidget* MakeListBox(QWidget* parent, uint32_t style)
{
    auto* list = new QListWidget(parent);
    list->setItemDelegate(new FontHeightItemDelegate(list));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy((style & kStyleVScroll) != 0 ? Qt::ScrollBarAsNeeded
                                                                  : Qt::ScrollBarAlwaysOff);
    if ((style & kStyleBorder) == 0) list->setFrameShape(QFrame::NoFrame);
    return list;
}

QWidget* MakeControl(QDialog& dialog, const ControlTemplate& control)
{
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
    case ControlKind::PushButton: {
        auto* button = new QPushButton(text, &dialog);
        if ((control.style & kStyleDefault) != 0) button->setDefault(true);
        return button;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(text, &dialog);
        edit->setFrame((control.style & kStyleBorder) != 0);
        return edit;
    }
    case ControlKind::Static: {
        auto* label = new QLabel(text, &dialog);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignTop | ((control.style & kStyleCentre) != 0 ? Qt::AlignHCenter
                                                                                : Qt::AlignLeft));
        return label;
    }
    case ControlKind::GroupBox:
        return new GroupFrame(
            text, (control.style & kStyleCentre) != 0 ? Qt::AlignHCenter : Qt::AlignLeft, &dialog);
    case ControlKind::ListBox:
        return MakeListBox(&dialog, control.style);
    case ControlKind::SimpleCombo: {
        auto* combo = new SimpleComboBox(&dialog);
        combo->List()->setItemDelegate(new FontHeightItemDelegate(combo->List()));
        return combo;
    }
    case ControlKind::DropDownCombo: {
        auto* combo = new QComboBox(&dialog);
        combo->setEditable(true);
        // Typed text is never taken as a new entry.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setDuplicatesEnabled(true);
        // A long entry shows its beginning, as a Windows combo box does.
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [combo](int) {
            if (combo->lineEdit() != nullptr) combo->lineEdit()->setCursorPosition(0);
        });
        return combo;
    }
    case ControlKind::Icon: {
        auto* label = new QLabel(&dialog);
        label->setPixmap(LoadIcon(IDR_MAINFRAME).pixmap(32, 32));
        return label;
    }
    }
    return nullptr;
}

void AddInitialItems(QWidget* widget, const ControlInitData& data)
{
    for (int32_t i = 0; i < data.itemCount; ++i) {
        const QString item = QString::fromUtf8(data.items[i]);
        if (auto* simple = dynamic_cast<SimpleComboBox*>(widget))
            simple->AddString(item);
        else if (auto* combo = dynamic_cast<QComboBox*>(widget))
            combo->addItem(item);
        else if (auto* list = dynamic_cast<QListWidget*>(widget))
            list->addItem(item);
    }
}

// Lines wrap at blanks; a text that would still lose its last line or its
// end at the template's width is given the few pixels it lacks, around its
// centre when centred, so that no text of the template is clipped.
QRect FitStatic(const QLabel& label, const QRect& templateRect, int dialogWidth)
{
    const QFontMetrics metrics(label.font());
    const int flags = Qt::TextWordWrap | static_cast<int>(label.alignment());
    auto fits = [&](int width) {
        const QRect needed = metrics.boundingRect(QRect(0, 0, width, 100000), flags, label.text());
        return needed.height() <= templateRect.height() && needed.width() <= width;
    };
    int width = templateRect.width();
    while (!fits(width) && width < dialogWidth)
        ++width;
    QRect rect = templateRect;
    const int extra = width - templateRect.width();
    if (extra == 0) return rect;
    if ((label.alignment() & Qt::AlignHCenter) != 0)
        rect.setLeft(std::max(0, rect.left() - extra / 2));
    rect.setWidth(width);
    return rect;
}

// The template's height of a drop-down combo includes its dropped list; the
// closed control is as high as the style draws it, and the rest of the
// template's height says how many items the list shows.
void PlaceDropDown(QComboBox& combo, const QRect& templateRect)
{
    const int closed = combo.sizeHint().height();
    combo.setGeometry(templateRect.x(), templateRect.y(), templateRect.width(), closed);
    const int itemHeight = std::max(1, QFontMetrics(combo.font()).height());
    combo.setMaxVisibleItems(std::max(1, (templateRect.height() - closed) / itemHeight));
}

} // namespace

QFont DialogFont(const DialogTemplate& dialog)
{
    QFont font;
    font.setFamilies(
        {QString::fromUtf8(dialog.fontFace), QString::fromUtf8(dialog.fallbackFontFace)});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(dialog.fontPointSize);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFontMetrics& metrics)
{
    static const QString kLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int width = metrics.horizontalAdvance(kLetters);
    return DialogBaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c)
{
    if (c == 0) return -1;
    const int64_t product = static_cast<int64_t>(a) * b;
    const int64_t half = std::abs(static_cast<int64_t>(c)) / 2;
    const bool negative = (product < 0) != (c < 0);
    const int64_t magnitude = (std::abs(product) + half) / std::abs(static_cast<int64_t>(c));
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

QRect MapDialogRect(const DialogBaseUnits& units, int32_t x, int32_t y, int32_t w, int32_t h)
{
    return QRect(MulDiv(x, units.x, 4), MulDiv(y, units.y, 8), MulDiv(w, units.x, 4),
                 MulDiv(h, units.y, 8));
}

QWidget* DialogControls::ById(int32_t id) const
{
    if (id == IDC_STATIC) return nullptr;
    for (const LaidOutControl& laidOut : controls)
        if (laidOut.control->id == id) return laidOut.widget;
    return nullptr;
}

DialogControls BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate)
{
    DialogControls result;
    dialog.setWindowTitle(QString::fromUtf8(dialogTemplate.caption));
    const QFont font = DialogFont(dialogTemplate);
    dialog.setFont(font);
    result.units = BaseUnitsOf(QFontMetrics(font));

    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (dialogTemplate.hasSystemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    dialog.setWindowFlags(flags);
    const QRect client = MapDialogRect(result.units, 0, 0, dialogTemplate.w, dialogTemplate.h);
    dialog.setFixedSize(client.size());

    QWidget* previousTabStop = nullptr;
    for (int32_t i = 0; i < dialogTemplate.controlCount; ++i) {
        const ControlTemplate& control = dialogTemplate.controls[i];
        QWidget* widget = MakeControl(dialog, control);
        if (widget == nullptr) continue;
        const QRect rect = MapDialogRect(result.units, control.x, control.y, control.w, control.h);
        if (auto* combo = dynamic_cast<QComboBox*>(widget))
            PlaceDropDown(*combo, rect);
        else if (auto* label = dynamic_cast<QLabel*>(widget);
                 label != nullptr && control.kind == ControlKind::Static)
            widget->setGeometry(FitStatic(*label, rect, client.width()));
        else if (control.kind == ControlKind::Icon)
            widget->setGeometry(rect.x(), rect.y(), 32, 32);
        else
            widget->setGeometry(rect);

        if ((control.style & kStyleTabStop) != 0) {
            widget->setFocusPolicy(Qt::StrongFocus);
            if (previousTabStop != nullptr) QWidget::setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        } else if (control.kind != ControlKind::SimpleCombo) {
            widget->setFocusPolicy(Qt::NoFocus);
        }
        result.controls.push_back(LaidOutControl{&control, widget});
    }
    // Frames go beneath the controls they surround.
    for (const LaidOutControl& laidOut : result.controls)
        if (laidOut.control->kind == ControlKind::GroupBox) laidOut.widget->lower();

    for (int32_t i = 0; i < dialogTemplate.initDataCount; ++i) {
        const ControlInitData& data = dialogTemplate.initData[i];
        if (QWidget* widget = result.ById(data.id)) AddInitialItems(widget, data);
    }
    return result;
}
