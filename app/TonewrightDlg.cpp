#include "app/TonewrightDlg.h"

#include "app/AboutDlg.h"
#include "app/AppIcon.h"
#include "app/DataExchange.h"
#include "app/MessageBox.h"
#include "app/ResetNotice.h"
#include "app/SimpleComboBox.h"
#include "app/TerminationSignals.h"
#include "gen/NoteTable.h"
#include "host/ConfigFile.h"
#include "host/DriverSetup.h"
#include "host/HostStartup.h"
#include "host/NoiseRequests.h"
#include "host/SampleRateControl.h"
#include "host/ToneRequests.h"
#include "log/DebugLog.h"
#include "res/Resource.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaObject>
#include <QPainter>
#include <QPushButton>

#include <iterator>
#include <memory>

namespace {

const char* const kCaption = "Tonewright";

// The rate combo's items as the template lists them, and the rates they carry.
const uint32_t kRates[] = {96000, 48000, 44100};

constexpr int kNoteDataRole = Qt::UserRole;
constexpr int kSystemIconSize = 32;

} // namespace

CTonewrightDlg::CTonewrightDlg(QWidget* parent)
    : QDialog(parent), m_dStartFreq(65.406391), m_dEndFreq(4186.009045), m_dSeconds(0.5),
      m_dFrequency(440.0), m_dwAttenuation(12), m_hIcon(LoadIcon(IDR_MAINFRAME))
{
}

CTonewrightDlg::~CTonewrightDlg()
{
    if (m_bInitialised) DestroyWindow();
}

int CTonewrightDlg::DoModal()
{
    Create();
    // SIGTERM, SIGINT and SIGHUP end the dialog as Exit does, so the shutdown
    // still runs in its order: the driver stopped, its takes completed, the log closed.
    TerminationSignals termination([this] { EndOnSignal(); });
    OnInitDialog();
    const int result = exec() == QDialog::Accepted ? IDOK : IDCANCEL;
    DestroyWindow();
    return result;
}

void CTonewrightDlg::Create()
{
    if (m_bCreated) return;
    m_bCreated = true;
    const DialogTemplate* dialogTemplate = FindDialogTemplate(IDD_TONEWRIGHT_DIALOG);
    if (dialogTemplate == nullptr) return;
    m_controls = BuildDialog(*this, *dialogTemplate);
    BindControls();
    ConnectHandlers();
    m_deviceWindow.Attach(m_comboDevice);
    m_outputWindow.Attach(m_comboOutput);
    m_dialogWindow.Attach(this);
}

void CTonewrightDlg::BindControls()
{
    m_comboDevice = dynamic_cast<QComboBox*>(m_controls.ById(IDC_ASIO_DEVICE));
    m_comboOutput = dynamic_cast<QComboBox*>(m_controls.ById(IDC_DEVICE_OUTPUT));
    m_comboSampleRate = dynamic_cast<SimpleComboBox*>(m_controls.ById(IDC_SAMPLE_RATE));
    m_editFrequency = EditById(IDC_FREQUENCY);
    m_listNotes = dynamic_cast<QListWidget*>(m_controls.ById(IDC_NOTE_LIST));
    m_editAttenuation = EditById(IDC_ATTENUATION);
}

QLineEdit* CTonewrightDlg::EditById(int32_t id) const
{
    return dynamic_cast<QLineEdit*>(m_controls.ById(id));
}

void CTonewrightDlg::ConnectHandlers()
{
    auto button = [this](int32_t id, void (CTonewrightDlg::*handler)()) {
        if (auto* push = dynamic_cast<QPushButton*>(m_controls.ById(id)))
            connect(push, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    button(IDC_GENERATE_SINE, &CTonewrightDlg::OnGenerateSine);
    button(IDC_GENERATE_SWEEP, &CTonewrightDlg::OnGenerateSweep);
    button(IDC_PINK_NOISE, &CTonewrightDlg::OnPinkNoise);
    button(IDC_WHITE_NOISE, &CTonewrightDlg::OnWhiteNoise);
    // Exit carries the cancel id: the toolkit's cancel ends the dialog.
    button(IDCANCEL, &QDialog::reject);

    if (m_comboSampleRate != nullptr) {
        m_comboSampleRate->onSelChange = [this] { OnSelchangeSampleRate(); };
        m_comboSampleRate->onDblClk = [this] { OnSelchangeSampleRate(); };
    }
    if (m_listNotes != nullptr) {
        connect(m_listNotes, &QListWidget::currentRowChanged, this, [this](int) {
            if (!m_bSelectingNote) OnSelchangeNoteList();
        });
        connect(m_listNotes, &QListWidget::itemDoubleClicked, this,
                [this](QListWidgetItem*) { OnSelchangeNoteList(); });
    }
    // activated: a choice of the user's, never a selection made by the program.
    for (QComboBox* combo : {m_comboOutput, m_comboDevice}) {
        if (combo == nullptr || combo->lineEdit() == nullptr) continue;
        // Typed text must never pick an entry: Qt's combo otherwise picks the
        // entry its edit field names (or adds one) on Enter or when the field is left.
        combo->setCompleter(nullptr);
        QObject::disconnect(combo->lineEdit(), &QLineEdit::returnPressed, combo, nullptr);
        QObject::disconnect(combo->lineEdit(), &QLineEdit::editingFinished, combo, nullptr);
    }
    if (m_comboOutput != nullptr)
        connect(m_comboOutput, &QComboBox::activated, this, [this](int) { OnSelchangeOutput(); });
    if (m_comboDevice != nullptr)
        connect(m_comboDevice, &QComboBox::activated, this, [this](int) { OnSelchangeDevice(); });

    // The edits keep their own menus; the About command is added to them.
    for (const LaidOutControl& laidOut : m_controls.controls)
        if (auto* edit = dynamic_cast<QLineEdit*>(laidOut.widget)) edit->installEventFilter(this);
    for (QComboBox* combo : {m_comboOutput, m_comboDevice})
        if (combo != nullptr && combo->lineEdit() != nullptr)
            combo->lineEdit()->installEventFilter(this);
    if (m_comboSampleRate != nullptr) m_comboSampleRate->Edit()->installEventFilter(this);
}

bool CTonewrightDlg::OnInitDialog()
{
    Create();
    m_bInitialised = true;
    // The base initialisation: the fields into the controls.
    UpdateData(false);

    AddAboutCommand();
    setWindowIcon(m_hIcon);

    if (!CreateNoteArray()) {
        ShowMessageBox(this, "Can't create note array - Exiting!!", kCaption,
                       MessageIcon::Exclamation);
        PostQuitRequest();
        return true;
    }
    DbgLogOpen();
    m_hThread = 0;
    m_dwThreadId = 0;
    SetResetNoticeHost(this);

    if (!ASIOHostInit(&m_deviceWindow, -1) || !ASIOSelectDriver(&m_dialogWindow, &m_outputWindow)) {
        ShowMessageBox(this, "Can't interface with an ASIO driver - Exiting!!", kCaption,
                       MessageIcon::Exclamation);
        PostQuitRequest();
        return true;
    }
    m_nCurDevice = m_comboDevice != nullptr ? m_comboDevice->currentIndex() : 0;
    FillNoteList();

    if (m_comboSampleRate != nullptr)
        for (int32_t i = 0; i < static_cast<int32_t>(std::size(kRates)); ++i)
            m_comboSampleRate->SetItemData(i, kRates[i]);
    SelectSampleRate(ASIOGetSampleRate());

    if (m_listNotes != nullptr) {
        // Searched from the entry after A4 and round to the top, as a list box does.
        const int count = m_listNotes->count();
        for (int step = 1; step <= count; ++step) {
            const int index = (kNoteA4 + step) % count;
            if (m_listNotes->item(index)->text().startsWith("A4 440.00000", Qt::CaseInsensitive)) {
                m_bSelectingNote = true;
                m_listNotes->setCurrentRow(index);
                m_listNotes->scrollToItem(m_listNotes->item(index));
                m_bSelectingNote = false;
                break;
            }
        }
        OnSelchangeNoteList();
    }
    DbgLog("Completed app initialization.");
    return true;
}

void CTonewrightDlg::AddAboutCommand()
{
    if (m_pAboutAction != nullptr) return;
    // Linux window managers own the system menu: the command goes into the
    // dialog's context menu and onto F1 instead.
    const DialogTemplate* dialogTemplate = FindDialogTemplate(IDD_TONEWRIGHT_DIALOG);
    if (dialogTemplate == nullptr || !dialogTemplate->hasSystemMenu) return;
    const QString text = QString::fromUtf8(LoadResourceString(IDS_ABOUTBOX));
    if (text.isEmpty()) return;
    m_pAboutAction = new QAction(text, this);
    m_pAboutAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_pAboutAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_pAboutAction, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    addAction(m_pAboutAction);
}

void CTonewrightDlg::PostQuitRequest()
{
    // Ends the modal loop once it runs; the shutdown then follows as on Exit.
    QMetaObject::invokeMethod(
        this, [this] { done(QDialog::Rejected); }, Qt::QueuedConnection);
}

void CTonewrightDlg::EndOnSignal()
{
    // A menu, a message box or the About box runs a loop of its own over the
    // dialog's: each closes first, so that the dialog's loop ends now.
    for (;;) {
        QWidget* top = QApplication::activePopupWidget();
        if (top == nullptr) top = QApplication::activeModalWidget();
        if (top == nullptr || top == this || !top->close()) break;
    }
    reject();
}

bool CTonewrightDlg::DestroyWindow()
{
    if (m_bDestroyed) return true;
    m_bDestroyed = true;
    if (m_bInitialised) {
        SetResetNoticeHost(nullptr);
        FreeNoteArray();
        ASIOHostShutdown(true);
        DbgLogClose();
    }
    hide();
    return true;
}

bool CTonewrightDlg::UpdateData(bool bSaveAndValidate)
{
    DataExchange dx(this, bSaveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

void CTonewrightDlg::DoDataExchange(DataExchange& dx)
{
    // The controls are bound when the window is built from the template.
    dx.Double(EditById(IDC_SWEEP_START), m_dStartFreq, 10, 22050);
    dx.Double(EditById(IDC_SWEEP_END), m_dEndFreq, 10, 22050);
    dx.Double(EditById(IDC_SECONDS), m_dSeconds, 0.01, 60);
    dx.Double(m_editFrequency, m_dFrequency, 10, 22050);
    dx.UInt(m_editAttenuation, m_dwAttenuation, 0, 60);
    dx.ComboText(m_comboSampleRate, m_strSampleRate);
}

bool CTonewrightDlg::event(QEvent* event)
{
    if (event->type() == static_cast<QEvent::Type>(WM_RESET_REQUEST)) {
        const auto* posted = static_cast<HostMessageEvent*>(event);
        WindowProc(posted->Message(), posted->WParam(), posted->LParam());
        return true;
    }
    return QDialog::event(event);
}

void CTonewrightDlg::OnSysCommand(uint32_t nID)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(this);
        dlgAbout.DoModal();
    }
}

void CTonewrightDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_pAboutAction == nullptr) return;
    QMenu menu(this);
    menu.addAction(m_pAboutAction);
    menu.exec(event->globalPos());
}

bool CTonewrightDlg::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = dynamic_cast<QLineEdit*>(watched);
    if (event->type() != QEvent::ContextMenu || edit == nullptr || m_pAboutAction == nullptr)
        return QDialog::eventFilter(watched, event);
    std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
    menu->addSeparator();
    menu->addAction(m_pAboutAction);
    menu->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
}

void CTonewrightDlg::paintEvent(QPaintEvent* event)
{
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    // Where a window system still paints a minimised dialog, the icon centred.
    QPainter painter(this);
    painter.eraseRect(rect());
    const int x = (width() - kSystemIconSize + 1) / 2;
    const int y = (height() - kSystemIconSize + 1) / 2;
    m_hIcon.paint(&painter, x, y, kSystemIconSize, kSystemIconSize);
}

void CTonewrightDlg::OnGenerateSine()
{
    UpdateData(true);
    PlaySineWav(m_dFrequency, m_dSeconds, m_dwAttenuation);
}

void CTonewrightDlg::OnGenerateSweep()
{
    UpdateData(true);
    PlaySweepWav(m_dStartFreq, m_dEndFreq, m_dSeconds, m_dwAttenuation);
}

void CTonewrightDlg::OnPinkNoise()
{
    UpdateData(true);
    PlayPinkNoise(m_dSeconds, m_dwAttenuation);
}

void CTonewrightDlg::OnWhiteNoise()
{
    UpdateData(true);
    PlayWhiteNoise(m_dSeconds, m_dwAttenuation);
}

void CTonewrightDlg::SelectSampleRate(int32_t rate)
{
    if (m_comboSampleRate == nullptr) return;
    for (uint32_t offered : kRates) {
        if (rate >= 0 && static_cast<uint32_t>(rate) == offered) {
            m_comboSampleRate->SetCurSel(
                m_comboSampleRate->FindStringExact(QString::number(offered)));
            return;
        }
    }
}

void CTonewrightDlg::OnSelchangeSampleRate()
{
    if (m_comboSampleRate == nullptr) return;
    const int32_t index = m_comboSampleRate->GetCurSel();
    // A click beside the items selects nothing: there is no rate to ask for.
    if (index < 0) return;
    if (ASIOSetSampleRate(m_comboSampleRate->GetItemData(index))) return;
    ShowMessageBox(this, "Can't set sample rate to requested value!", AppNameCaption(),
                   MessageIcon::None);
    SelectSampleRate(ASIOGetSampleRate());
}

void CTonewrightDlg::OnSelchangeOutput()
{
    if (m_comboOutput != nullptr) ASIOSelectOutputPair(m_comboOutput->currentIndex());
}

void CTonewrightDlg::OnSelchangeDevice()
{
    if (m_comboDevice == nullptr) return;
    const int32_t index = m_comboDevice->currentIndex();
    if (index == m_nCurDevice) return;
    if (m_comboDevice->itemText(index).startsWith(QLatin1Char('*'))) {
        ShowMessageBox(this, "Device is not available!", kCaption, MessageIcon::Exclamation);
        m_comboDevice->setCurrentIndex(m_nCurDevice);
        return;
    }
    m_nCurDevice = index;
    WriteConfigDriverNum(index);
    PostMessage(&m_dialogWindow, WM_RESET_REQUEST, 0, 0);
}

void CTonewrightDlg::FillNoteList()
{
    if (m_listNotes == nullptr || g_pNoteFreqs == nullptr) return;
    for (int32_t i = 0; i < kNoteCount; ++i) {
        char frequency[32];
        FormatDecimal(frequency, g_pNoteFreqs[i], 6);
        auto* item = new QListWidgetItem(QString::fromUtf8(NoteName(i)) + frequency);
        // The element's address, as the list's item data: the array outlives the list's use.
        item->setData(kNoteDataRole,
                      QVariant::fromValue(reinterpret_cast<quintptr>(&g_pNoteFreqs[i])));
        m_listNotes->addItem(item);
    }
}

void CTonewrightDlg::OnSelchangeNoteList()
{
    if (m_listNotes == nullptr || m_listNotes->currentItem() == nullptr) return;
    const auto* note = reinterpret_cast<const double*>(
        m_listNotes->currentItem()->data(kNoteDataRole).value<quintptr>());
    if (note == nullptr) return;
    m_dFrequency = *note;
    char text[32];
    FormatDecimal(text, m_dFrequency, 11);
    if (m_editFrequency != nullptr) m_editFrequency->setText(QString::fromUtf8(text));
}
