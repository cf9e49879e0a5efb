// The main dialog, template IDD_TONEWRIGHT_DIALOG: its fields, the start-up
// and shutdown of every subsystem, the data exchange, the command handlers,
// the note list and the reset request. User-interface thread, except where
// a member says otherwise.
#pragma once

#include "app/DialogLayout.h"
#include "app/QtHostWindow.h"

#include <QDialog>
#include <QIcon>

#include <pthread.h>

#include <cstdint>
#include <string>

class DataExchange;
class QAction;
class QComboBox;
class QLineEdit;
class QListWidget;
class SimpleComboBox;

using LRESULT = intptr_t;

class CTonewrightDlg final : public QDialog {
public:
    explicit CTonewrightDlg(QWidget* parent = nullptr);
    ~CTonewrightDlg() override;

    // Creates the window from the template, runs start-up, the modal loop
    // and the shutdown. Returns IDOK or IDCANCEL; nobody reads it.
    int DoModal();

    // The window with its controls from the template (once); DoModal calls it.
    void Create();
    // Start-up; always true. A failure shows its message and asks to quit.
    bool OnInitDialog();
    // Shutdown (once), then the window is hidden.
    bool DestroyWindow();
    // The data exchange in one direction; false when a field failed.
    bool UpdateData(bool bSaveAndValidate);

    // What the window procedure does with a posted message; 0 for the reset
    // request, which it answers with a notice thread.
    LRESULT WindowProc(uint32_t message, WPARAM wParam, LPARAM lParam);

    void OnSysCommand(uint32_t nID);
    QIcon OnQueryDragIcon() const { return m_hIcon; }
    void OnGenerateSine();
    void OnGenerateSweep();
    void OnSelchangeSampleRate();
    void OnSelchangeNoteList();
    void OnSelchangeOutput();
    void OnSelchangeDevice();
    void OnPinkNoise();
    void OnWhiteNoise();
    void FillNoteList();

    // The laid-out template, for the handlers and for layout checks.
    const DialogControls& Controls() const { return m_controls; }

    int32_t m_nCurDevice = 0;
    pthread_t m_hThread = 0; // 0 when no notice thread is being started
    uint32_t m_dwThreadId = 0;
    QComboBox* m_comboDevice = nullptr;
    QComboBox* m_comboOutput = nullptr;
    SimpleComboBox* m_comboSampleRate = nullptr;
    QLineEdit* m_editFrequency = nullptr;
    QListWidget* m_listNotes = nullptr;
    QLineEdit* m_editAttenuation = nullptr;
    double m_dStartFreq;
    double m_dEndFreq;
    double m_dSeconds;
    double m_dFrequency;
    uint32_t m_dwAttenuation;
    std::string m_strSampleRate;
    QIcon m_hIcon;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void DoDataExchange(DataExchange& dx);
    void BindControls();
    void ConnectHandlers();
    void AddAboutCommand();
    void SelectSampleRate(int32_t rate);
    void PostQuitRequest();
    // A termination signal: what is open over the dialog closes, then the dialog as on Exit.
    void EndOnSignal();
    QLineEdit* EditById(int32_t id) const;

    DialogControls m_controls;
    ComboHostWindow m_deviceWindow;
    ComboHostWindow m_outputWindow;
    DialogHostWindow m_dialogWindow;
    QAction* m_pAboutAction = nullptr;
    bool m_bCreated = false;
    bool m_bInitialised = false;
    bool m_bDestroyed = false;
    bool m_bSelectingNote = false;
};
