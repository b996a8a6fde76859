#include "UnitFrmMain.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDialog>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QGroupBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QToolButton>
#include <algorithm>
#include <memory>

#include "Application.h"
#include "HelpPage.h"
#include "IpodSyncDialog.h"
#include "ProgressCellDelegate.h"
#include "RunTexts.h"
#include "SettingsPanel.h"
#include "UnitFrmAbout.h"

#include "FrmMainShared.h"

using namespace FrmMain;

namespace {

// The buttons beside the list and beside the settings.
constexpr QSize kSideButton(71, 27);

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QSize size) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setFixedSize(size);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setFixedHeight(kRowHeight);
    return label;
}

// A line of changing text, hidden at first: it keeps its room while hidden
// so that the list does not jump when it shows, and a long text neither
// widens the window nor wraps.
QLabel* MakeLine(QWidget* parent, const char* name) {
    auto* line = new QLabel(parent);
    line->setObjectName(name);
    line->setFixedHeight(18);
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    policy.setRetainSizeWhenHidden(true);
    line->setSizePolicy(policy);
    line->hide();
    return line;
}

QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items, int selected, int width) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->addItems(items);
    list->setCurrentIndex(selected);
    list->setFixedSize(width, kRowHeight);
    return list;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setFixedHeight(kRowHeight);
    return box;
}

// Names the page, file or address in full, so that the person can open it
// by hand.
QString CannotOpenText(const QUrl& url) {
    const QString target = url.isLocalFile() ? url.toLocalFile() : url.toString();
    return "The desktop has no program to open \"" + target + "\". Please open it by hand.";
}

}  // namespace

TForm1::TForm1(TShutdown& shutdown, QWidget* parent)
    : QWidget(parent),
      shutdown_(shutdown),
      run_(VexmoC, *this, [this](std::function<void()> work) { PostToWindowThread(std::move(work)); }) {
    setObjectName("Form1");
    setWindowTitle(QString(kApplicationTitle) + " " + RunTexts::kApplicationVersion);
    setWindowFlags(Qt::Window);
    // The controls have their sizes in pixels, so the text is sized by pixel
    // too: a desktop's larger default font would not fit them.
    setFont(WindowFont());
    BuildControls();
    resize(kDesignSize);
    // The controls take their places before the window first shows.
    layout()->activate();
    // Pictures are taken one at a time, beside adding and converting.
    thumbnails_.setMaxThreadCount(1);
    thumbnails_.setThreadPriority(QThread::LowestPriority);
    ipod_search_.setMaxThreadCount(1);
    VexmoC.SetOnLog([this](int32_t index, TLogLevel level, const std::string& text) {
        if (index >= 0) PostToWindowThread([=, this] { AddLogLine(index, level, text); });
    });
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(application, &QGuiApplication::commitDataRequest, this, [this] { close_without_asking_ = true; });
}

TForm1::~TForm1() {
    StopThumbnails();
    ipod_search_.waitForDone();
    if (!closed_) {
        events_detached_ = true;
        VexmoC.StopConvert();
    }
}

void TForm1::BuildControls() {
    // The list takes whatever room the window gives; every other control
    // keeps its size and its distance from the edges beside it. Each area is
    // a layout of its own, so that a control is added by putting it into its
    // area's layout.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    grid->addWidget(BuildJobList(), 0, 0);
    grid->addLayout(BuildListButtons(), 0, 1, 2, 1);
    grid->addLayout(BuildProgressLines(), 1, 0);
    grid->addLayout(BuildOutputFolderRow(), 2, 0);
    Settings = new TSettingsPanel(this);
    grid->addWidget(Settings, 3, 0);
    grid->addLayout(BuildRunButtons(), 3, 1);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(0, 1);
    ConnectControls();
}

QWidget* TForm1::BuildJobList() {
    Lvw = new QTableWidget(0, colCount, this);
    Lvw->setObjectName("Lvw");
    Lvw->setMinimumSize(300, 100);
    Lvw->setHorizontalHeaderLabels({"Input Filename", "Duration", "Type", "Output Filename", "Status", "Path"});
    const int widths[colCount] = {150, 80, 80, 150, 93, 0};
    for (int column = 0; column < colCount; ++column) Lvw->setColumnWidth(column, widths[column]);
    Lvw->setColumnHidden(colPath, true);
    // A converting row's status shows as a bar under its text.
    Lvw->setItemDelegateForColumn(colStatus, new TProgressCellDelegate(Lvw));
    // The input name and the status share whatever width the others leave,
    // so the columns fill the list whether or not it shows a vertical scroll
    // bar, and a larger window gives a status's reason the room to be read.
    Lvw->horizontalHeader()->setSectionResizeMode(colInputName, QHeaderView::Stretch);
    Lvw->horizontalHeader()->setSectionResizeMode(colStatus, QHeaderView::Stretch);
    Lvw->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Lvw->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Lvw->verticalHeader()->hide();
    Lvw->verticalHeader()->setMinimumSectionSize(kSmallestListRow);
    Lvw->setMinimumHeight(ListHeightFor(kRowsAtDesignSize));
    FitRowsToList();
    Lvw->setShowGrid(true);
    Lvw->setWordWrap(false);
    Lvw->setSelectionBehavior(QAbstractItemView::SelectRows);
    Lvw->setSelectionMode(QAbstractItemView::SingleSelection);
    Lvw->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Lvw->viewport()->setAcceptDrops(true);
    Lvw->viewport()->installEventFilter(this);
    // The empty list says what it takes.
    auto* hint = new QLabel(RunTexts::kDropHint, Lvw->viewport());
    hint->setObjectName("LblDropHint");
    hint->setAlignment(Qt::AlignCenter);
    hint->setEnabled(false);
    hint->setAttribute(Qt::WA_TransparentForMouseEvents);
    (new QVBoxLayout(Lvw->viewport()))->addWidget(hint);
    const auto showHint = [this, hint] { hint->setVisible(Lvw->rowCount() == 0); };
    connect(Lvw->model(), &QAbstractItemModel::rowsInserted, hint, showHint);
    connect(Lvw->model(), &QAbstractItemModel::rowsRemoved, hint, showHint);
    // Tab moves on to the next control instead of from cell to cell.
    Lvw->setTabKeyNavigation(false);
    auto* removeKey = new QShortcut(QKeySequence::Delete, Lvw);
    removeKey->setContext(Qt::WidgetShortcut);
    connect(removeKey, &QShortcut::activated, this, [this] {
        if (BtnRemove->isEnabled()) BtnRemoveClick();
    });
    return Lvw;
}

int TForm1::ListHeightFor(int rows) const {
    return Lvw->horizontalHeader()->sizeHint().height() + rows * kSmallestListRow + 2 * Lvw->frameWidth();
}

void TForm1::FitRowsToList() {
    const int height =
        std::clamp(Lvw->viewport()->height() / kRowsAtDesignSize, kSmallestListRow, kLargestListRow);
    if (height == Lvw->verticalHeader()->defaultSectionSize() && Lvw->iconSize().height() == height - 2) return;
    Lvw->verticalHeader()->setDefaultSectionSize(height);
    Lvw->setIconSize({(height - 2) * kThumbnailSize.width() / kThumbnailSize.height(), height - 2});
}

QLayout* TForm1::BuildListButtons() {
    auto* column = new QVBoxLayout;
    column->setSpacing(5);
    BtnAdd = MakeButton(this, "BtnAdd", "&Add", kSideButton);
    BtnRemove = MakeButton(this, "BtnRemove", "&Remove", kSideButton);
    BtnClear = MakeButton(this, "BtnClear", "C&lear", kSideButton);
    BtnMoveUp = MakeButton(this, "BtnMoveUp", "Move &Up", kSideButton);
    BtnMoveDown = MakeButton(this, "BtnMoveDown", "Move &Down", kSideButton);
    for (QWidget* button : {BtnAdd, BtnRemove, BtnClear}) column->addWidget(button);
    column->addSpacing(15);
    for (QWidget* button : {BtnMoveUp, BtnMoveDown}) column->addWidget(button);
    column->addStretch(1);
    return column;
}

QLayout* TForm1::BuildProgressLines() {
    auto* lines = new QVBoxLayout;
    lines->setSpacing(2);
    LblProgress = MakeLine(this, "LblProgress");
    LblListProgress = MakeLine(this, "LblListProgress");
    lines->addWidget(LblProgress);
    lines->addWidget(LblListProgress);
    return lines;
}

QLayout* TForm1::BuildOutputFolderRow() {
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    Label1 = MakeLabel(this, "Label1", "Output Folder: ");
    EdtOutputFolder = new QLineEdit(this);
    EdtOutputFolder->setObjectName("EdtOutputFolder");
    EdtOutputFolder->setReadOnly(true);
    EdtOutputFolder->setFixedHeight(kRowHeight);
    // The iPod's controls beside it leave it narrow at the window's first size.
    connect(EdtOutputFolder, &QLineEdit::textChanged, EdtOutputFolder, &QLineEdit::setToolTip);
    BtnChangeOutputFolder = MakeButton(this, "BtnChangeOutputFolder", "...", {30, kRowHeight});
    // Where the files go besides the folder: the iPod they are put on, and
    // whether the folder keeps them too.
    CboIpod = MakeList(this, "CboIpod", {RunTexts::kNoIpodConnected}, 0, 140);
    CboIpod->setToolTip("The iPod each converted file is put on");
    ChkKeepCopy = MakeCheckBox(this, "ChkKeepCopy", "Keep a copy on this computer");
    ChkKeepCopy->setToolTip("Files put on the iPod stay in the output folder too");
    ChkKeepCopy->setChecked(true);
    row->addWidget(Label1);
    row->addWidget(EdtOutputFolder, 1);
    row->addWidget(BtnChangeOutputFolder);
    row->addSpacing(4);
    row->addWidget(BuildIpodMenu());
    row->addWidget(CboIpod);
    row->addWidget(ChkKeepCopy);
    return row;
}

QWidget* TForm1::BuildIpodMenu() {
    // What can be done with the chosen iPod itself, in a menu that names the
    // choice beside it: the row has no room for more buttons.
    auto* button = new QToolButton(this);
    button->setObjectName("BtnIpod");
    button->setText("iPod");
    button->setFixedHeight(kRowHeight);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setToolTip("What is on the chosen iPod, and keeping a folder on it");
    auto* menu = new QMenu(button);
    ActIpodLibrary = menu->addAction("On this iPod…");
    ActIpodLibrary->setObjectName("ActIpodLibrary");
    ActIpodLibrary->setToolTip("The videos on the chosen iPod, to see and remove");
    ActIpodLibrary->setEnabled(false);
    ActSync = menu->addAction("Sync a folder to the iPod…");
    ActSync->setObjectName("ActSync");
    ActSync->setToolTip("Keeps the videos of folders on the chosen iPod, showing the plan first");
    ActSync->setEnabled(false);
    button->setMenu(menu);
    return button;
}

QLayout* TForm1::BuildRunButtons() {
    // Beside the settings: the run at the top, the window's own buttons at
    // the bottom.
    auto* column = new QVBoxLayout;
    column->setSpacing(5);
    column->setContentsMargins(0, 6, 0, 0);
    BtnStart = MakeButton(this, "BtnStart", "&Convert", {kSideButton.width(), 56});
    QFont bold = BtnStart->font();
    bold.setBold(true);
    BtnStart->setFont(bold);
    BtnLog = MakeButton(this, "BtnLog", "L&og", kSideButton);
    BtnLog->setToolTip("What the last conversion did, file by file");
    BtnAbout = MakeButton(this, "BtnAbout", "A&bout", kSideButton);
    BtnHelp = MakeButton(this, "BtnHelp", "&Help", kSideButton);
    column->addWidget(BtnStart);
    column->addStretch(1);
    column->addWidget(BtnLog);
    column->addWidget(BtnAbout);
    column->addWidget(BtnHelp);
    return column;
}

void TForm1::ConnectControls() {
    connect(BtnAdd, &QPushButton::clicked, this, &TForm1::BtnAddClick);
    connect(BtnRemove, &QPushButton::clicked, this, &TForm1::BtnRemoveClick);
    connect(BtnClear, &QPushButton::clicked, this, &TForm1::BtnClearClick);
    connect(BtnMoveUp, &QPushButton::clicked, this, &TForm1::BtnMoveUpClick);
    connect(BtnMoveDown, &QPushButton::clicked, this, &TForm1::BtnMoveDownClick);
    connect(BtnStart, &QPushButton::clicked, this, &TForm1::BtnStartClick);
    connect(BtnChangeOutputFolder, &QPushButton::clicked, this, &TForm1::BtnChangeOutputFolderClick);
    connect(BtnAbout, &QPushButton::clicked, this, &TForm1::BtnAboutClick);
    connect(BtnHelp, &QPushButton::clicked, this, &TForm1::BtnHelpClick);
    connect(BtnLog, &QPushButton::clicked, this, &TForm1::BtnLogClick);
    // The desktop's usual keys, each doing what its button does when that
    // button could be pressed.
    const auto key = [this](QKeySequence sequence, std::function<void()> action) {
        connect(new QShortcut(sequence, this), &QShortcut::activated, this, std::move(action));
    };
    key(QKeySequence::Open, [this] {
        if (BtnAdd->isEnabled()) BtnAddClick();
    });
    for (const QKeySequence& sequence : {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)})
        key(sequence, [this] {
            if (!run_.Running()) BtnStartClick();
        });
    key(QKeySequence(Qt::Key_Escape), [this] {
        if (run_.Running()) BtnStartClick();
    });
    key(QKeySequence::HelpContents, [this] { BtnHelpClick(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
    Lvw->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Lvw, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        const int row = Lvw->rowAt(position.y());
        if (row < 0) return;
        Lvw->selectRow(row);
        std::unique_ptr<QMenu> menu(RowMenu(row));
        menu->exec(Lvw->viewport()->mapToGlobal(position));
    });
    connect(Lvw, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OpenOutput(row); });
    connect(CboIpod, &QComboBox::activated, this, &TForm1::CboIpodSelect);
    connect(CboIpod, &QComboBox::currentIndexChanged, this, &TForm1::UpdateIpodActions);
    connect(ActIpodLibrary, &QAction::triggered, this, &TForm1::ActIpodLibraryClick);
    connect(ActSync, &QAction::triggered, this, &TForm1::ActSyncClick);
}

// ---- Start-up, settings and close ----

bool TForm1::FormCreate() {
    TApplication::SetErrorHandler([this](const std::exception& error) { ApplicationException(error); });
    const QString bundled = QDir(QCoreApplication::applicationDirPath()).filePath("LibAV");
    const std::string folder = QFileInfo(bundled).isDir() ? (bundled + "/").toStdString() : std::string();
    if (!VexmoC.LoadLibraries(folder, true)) {
        ShowMessageBox(Q(VexmoC.LastErrorMessage()) + " Please re-install the program and try it again.", "Error",
                       QMessageBox::Critical);
        return false;
    }
    MarkUnavailableDevices();
    ReadSettings();
    WatchForIpods();
    return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A person closing the window in the middle of a long run is asked; the
    // session ending or a stop signal closes it without a question.
    if (run_.Running() && !close_without_asking_) {
        if (!AskYesNo(kStopAndCloseQuestion, kApplicationTitle)) {
            event->ignore();
            return;
        }
        run_.Abandon();
    }
    if (SyncRunning() && !close_without_asking_ && !AskYesNo(kStopSyncAndCloseQuestion, kApplicationTitle)) {
        event->ignore();
        return;
    }
    FormCloseQuery();
    event->accept();
}

void TForm1::CloseWithoutAsking() {
    close_without_asking_ = true;
    close();
}

void TForm1::FormCloseQuery() {
    if (closed_) return;
    closed_ = true;
    // No event may reach the window once it closes, not even one already
    // on its way from a task thread.
    VexmoC.SetOnLog(nullptr);
    VexmoC.SetOnProgress(nullptr);
    VexmoC.SetOnTerminate(nullptr);
    events_detached_ = true;
    VexmoC.StopConvert();
    // The pictures use the libraries too, and so does putting files on the
    // iPod, which finishes first: its database must list what is on it.
    StopThumbnails();
    run_.WaitForDelivery();
    // What a sync has put on stays; its plan and its conversion end first.
    if (sync_dialog_) {
        sync_dialog_->StopAndWait();
        delete sync_dialog_;
    }
    ipod_search_.clear();
    ipod_search_.waitForDone();
    // Waits until no task thread runs any more.
    VexmoC.UnloadLibraries();
    try {
        WriteSettings();
    } catch (const std::exception& error) {
        // Shown, and the window closes anyway.
        ApplicationException(error);
    }
}

void TForm1::ApplicationException(const std::exception& error) {
    const TUserMessage message = RunTexts::ErrorMessage(error);
    ShowMessageBox(Q(ApplicationErrorText(message.text)), Q(message.caption), IconOf(message.icon));
}

// ---- The window's own actions ----

void TForm1::BtnLogClick() {
    if (!log_text_) {
        auto* window = new QDialog(this);
        window->setObjectName("FrmLog");
        window->setWindowTitle("Conversion Log");
        window->resize(640, 420);
        log_text_ = new QPlainTextEdit(window);
        log_text_->setObjectName("EdtLog");
        log_text_->setReadOnly(true);
        log_text_->setLineWrapMode(QPlainTextEdit::NoWrap);
        auto* column = new QVBoxLayout(window);
        column->addWidget(log_text_);
    }
    log_text_->setPlainText(RunLogText());
    auto* window = log_text_->window();
    window->show();
    window->raise();
}

void TForm1::BtnChangeOutputFolderClick() {
    QString folder = ChooseOutputFolder();
    if (folder.isEmpty()) return;
    if (!folder.endsWith('/')) folder += '/';
    EdtOutputFolder->setText(folder);
}

QStringList TForm1::ChooseSyncFolders() {
    // Several folders can be chosen at once in Qt's own dialog.
    QFileDialog dialog(this, "Choose the folders to keep on the iPod");
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    for (auto* view : dialog.findChildren<QAbstractItemView*>())
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

QString TForm1::ChooseOutputFolder() {
    return QFileDialog::getExistingDirectory(this, "Please select output folder", EdtOutputFolder->text(),
                                             QFileDialog::ShowDirsOnly);
}

void TForm1::BtnAboutClick() {
    TFrmAbout about([this](const QUrl& url) { OpenLink(url); }, this);
    about.exec();
}

void TForm1::BtnHelpClick() {
    const QString page = FindHelpPage(QCoreApplication::applicationDirPath(), TOVRELA_DATA_DIR);
    if (page.isEmpty()) {
        ShowMessageBox("The help page is missing. Please re-install the program.", kApplicationTitle,
                       QMessageBox::Information);
        return;
    }
    OpenLink(QUrl::fromLocalFile(page));
}

void TForm1::OpenLink(const QUrl& url) {
    if (!OpenUrl(url)) ShowMessageBox(CannotOpenText(url), kApplicationTitle, QMessageBox::Information);
}

// The desktop's opener is run as a program of its own and its answer is
// read: Qt counts an opener that started as success, even when it then finds
// no program for the link. The process is left to finish on its own (it may
// run as long as what it opened), so it has no parent to end it early.
bool TForm1::OpenUrl(const QUrl& url) {
    const QString opener = QStandardPaths::findExecutable("xdg-open");
    if (opener.isEmpty()) return QDesktopServices::openUrl(url);
    auto* process = new QProcess;
    QPointer<TForm1> window(this);
    const auto answer = [process, window, url](bool opened) {
        process->deleteLater();
        if (!opened && window)
            window->ShowMessageBox(CannotOpenText(url), kApplicationTitle, QMessageBox::Information);
    };
    connect(process, &QProcess::finished, process, [answer](int code, QProcess::ExitStatus status) {
        answer(status == QProcess::NormalExit && code == 0);
    });
    connect(process, &QProcess::errorOccurred, process, [answer](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) answer(false);
    });
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(opener, {url.isLocalFile() ? url.toLocalFile() : url.toString()});
    return true;
}

void TForm1::ShowMessageBox(const QString& text, const QString& caption, QMessageBox::Icon icon,
                            std::vector<TBoxButton> buttons) {
    pending_messages_.push_back({text, caption, icon, std::move(buttons)});
    if (showing_message_) return;
    showing_message_ = true;
    struct TDone {
        bool& showing;
        ~TDone() { showing = false; }
    } done{showing_message_};
    while (!pending_messages_.empty()) {
        const TPendingMessage next = pending_messages_.front();
        pending_messages_.pop_front();
        PresentMessageBox(next.text, next.caption, next.icon, next.buttons);
    }
}

void TForm1::PresentMessageBox(const QString& text, const QString& caption, QMessageBox::Icon icon,
                               const std::vector<TBoxButton>& buttons) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, this);
    std::vector<QAbstractButton*> added;
    for (const TBoxButton& button : buttons) added.push_back(box.addButton(button.caption, QMessageBox::ActionRole));
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    for (size_t i = 0; i < added.size(); ++i)
        if (box.clickedButton() == added[i]) buttons[i].action();
}

void TForm1::NotifyDesktop(const QString& summary, const QString& body) {
    // Sent without waiting for an answer: without the service nothing shows.
    QDBusMessage notify = QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                                         "org.freedesktop.Notifications", "Notify");
    notify << QString(kApplicationTitle) << 0u << QString("tovrela") << summary << body << QStringList()
           << QVariantMap() << -1;
    QDBusConnection::sessionBus().call(notify, QDBus::NoBlock);
}

bool TForm1::AskYesNo(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
