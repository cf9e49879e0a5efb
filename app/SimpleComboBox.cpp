#include "app/SimpleComboBox.h"

#include "platform/WindowSeam.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QResizeEvent>

#include <algorithm>

namespace {

constexpr int kItemDataRole = Qt::UserRole;

} // namespace

SimpleComboBox::SimpleComboBox(QWidget* parent)
    : QWidget(parent), m_edit(new QLineEdit(this)), m_list(new QListWidget(this))
{
    // One control for Tab: the edit field takes the focus, the list only by click.
    setFocusProxy(m_edit);
    m_edit->setFocusPolicy(Qt::StrongFocus);
    m_list->setFocusPolicy(Qt::ClickFocus);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setUniformItemSizes(true);

    m_edit->installEventFilter(this);

    QObject::connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_bSettingSelection) return;
        if (row >= 0) m_edit->setText(m_list->item(row)->text());
        if (onSelChange) onSelChange();
    });
    QObject::connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) {
        if (onDblClk) onDblClk();
    });
}

int32_t SimpleComboBox::AddString(const QString& text)
{
    m_list->addItem(text);
    return m_list->count() - 1;
}

int32_t SimpleComboBox::GetCount() const
{
    return m_list->count();
}

QString SimpleComboBox::GetItemText(int32_t index) const
{
    const QListWidgetItem* item = m_list->item(index);
    return item != nullptr ? item->text() : QString();
}

void SimpleComboBox::SetItemData(int32_t index, uint32_t data)
{
    QListWidgetItem* item = m_list->item(index);
    if (item != nullptr) item->setData(kItemDataRole, data);
}

uint32_t SimpleComboBox::GetItemData(int32_t index) const
{
    const QListWidgetItem* item = m_list->item(index);
    if (item == nullptr) return static_cast<uint32_t>(CB_ERR);
    return item->data(kItemDataRole).toUInt();
}

int32_t SimpleComboBox::GetCurSel() const
{
    // The current row, which the list moves before it updates its selection.
    return m_list->currentRow();
}

int32_t SimpleComboBox::SetCurSel(int32_t index)
{
    m_bSettingSelection = true;
    int32_t result = CB_ERR;
    if (index >= 0 && index < m_list->count()) {
        m_list->setCurrentRow(index);
        m_list->scrollToItem(m_list->item(index));
        m_edit->setText(m_list->item(index)->text());
        result = index;
    } else {
        m_list->setCurrentRow(-1);
        m_list->clearSelection();
    }
    m_bSettingSelection = false;
    return result;
}

int32_t SimpleComboBox::FindStringExact(const QString& text) const
{
    for (int32_t i = 0; i < m_list->count(); ++i)
        if (m_list->item(i)->text().compare(text, Qt::CaseInsensitive) == 0) return i;
    return CB_ERR;
}

QString SimpleComboBox::GetWindowText() const
{
    return m_edit->text();
}

void SimpleComboBox::SetWindowText(const QString& text)
{
    m_edit->setText(text);
}

bool SimpleComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool moves = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down ||
                           key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown;
        // The list moves its selection as on a click, and tells onSelChange.
        if (moves && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            QCoreApplication::sendEvent(m_list, event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SimpleComboBox::resizeEvent(QResizeEvent* event)
{
    // The edit field as high as a single-line edit of the font, the list below it.
    const int editHeight = m_edit->sizeHint().height();
    const QSize size = event->size();
    m_edit->setGeometry(0, 0, size.width(), editHeight);
    m_list->setGeometry(0, editHeight, size.width(), std::max(0, size.height() - editHeight));
}
