// A combo box whose list is always shown below its edit field, as the rate
// combo of the main dialog is drawn. Qt has only the drop-down kind.
// User-interface thread.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QLineEdit;
class QListWidget;

class SimpleComboBox final : public QWidget {
public:
    explicit SimpleComboBox(QWidget* parent = nullptr);

    int32_t AddString(const QString& text);
    int32_t GetCount() const;
    QString GetItemText(int32_t index) const;
    // Item data is a number per item, CB_ERR as unsigned outside the items.
    void SetItemData(int32_t index, uint32_t data);
    uint32_t GetItemData(int32_t index) const;
    // -1 when nothing is selected.
    int32_t GetCurSel() const;
    // Selects the item and shows its text in the edit field, without telling
    // onSelChange; -1 clears the selection. Returns the index, or CB_ERR.
    int32_t SetCurSel(int32_t index);
    // The first item whose whole text equals text, ignoring case; CB_ERR if none.
    int32_t FindStringExact(const QString& text) const;

    // The edit field's text, which may differ from every item.
    QString GetWindowText() const;
    void SetWindowText(const QString& text);

    QLineEdit* Edit() const { return m_edit; }
    QListWidget* List() const { return m_list; }

    // The user picked another item, or double-clicked one.
    std::function<void()> onSelChange;
    std::function<void()> onDblClk;

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Up, Down, Page Up and Page Down in the edit field move in the list.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit;
    QListWidget* m_list;
    bool m_bSettingSelection = false;
};
