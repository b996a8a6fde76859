#include "UnitFrmMain.h"

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
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableWidget>
#include <algorithm>
#include <memory>

#include "Application.h"
#include "FileDialogFilter.h"
#include "HelpPage.h"
#include "IpodDelivery.h"
#include "IpodLimits.h"
#include "PosterPicture.h"
#include "ProgressCellDelegate.h"
#include "RunTexts.h"
#include "SettingsPanel.h"
#include "UnitFrmAbout.h"
#include "UnitGeneral.h"
#include "WindowSettings.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

constexpr int kRowHeight = 24;
// The file a row's task wrote in the last run, on its output name's item.
constexpr int kWrittenOutputRole = Qt::UserRole + 2;
// The row's own number, on its input name's item.
constexpr int kRowIdRole = Qt::UserRole + 3;
// The pictures at the start of the rows.
constexpr QSize kThumbnailSize(40, 30);
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

QMessageBox::Icon IconOf(TMessageIcon icon) {
    switch (icon) {
        case TMessageIcon::Warning: return QMessageBox::Warning;
        case TMessageIcon::Error: return QMessageBox::Critical;
        case TMessageIcon::Information: break;
    }
    return QMessageBox::Information;
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
    // The two name columns share whatever width the others leave, so the
    // columns fill the list whether or not it shows a vertical scroll bar,
    // and the status is never cut by a horizontal one.
    Lvw->horizontalHeader()->setSectionResizeMode(colInputName, QHeaderView::Stretch);
    Lvw->horizontalHeader()->setSectionResizeMode(colOutputName, QHeaderView::Stretch);
    Lvw->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Lvw->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Lvw->verticalHeader()->hide();
    Lvw->verticalHeader()->setDefaultSectionSize(kThumbnailSize.height() + 2);
    Lvw->setIconSize(kThumbnailSize);
    Lvw->setShowGrid(true);
    Lvw->setWordWrap(false);
    Lvw->setSelectionBehavior(QAbstractItemView::SelectRows);
    Lvw->setSelectionMode(QAbstractItemView::SingleSelection);
    Lvw->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Lvw->viewport()->setAcceptDrops(true);
    Lvw->viewport()->installEventFilter(this);
    // Tab moves on to the next control instead of from cell to cell.
    Lvw->setTabKeyNavigation(false);
    auto* removeKey = new QShortcut(QKeySequence::Delete, Lvw);
    removeKey->setContext(Qt::WidgetShortcut);
    connect(removeKey, &QShortcut::activated, this, [this] {
        if (BtnRemove->isEnabled()) BtnRemoveClick();
    });
    return Lvw;
}

QLayout* TForm1::BuildListButtons() {
    auto* column = new QVBoxLayout;
    column->setSpacing(5);
    BtnAdd = MakeButton(this, "BtnAdd", "Add", kSideButton);
    BtnRemove = MakeButton(this, "BtnRemove", "Remove", kSideButton);
    BtnClear = MakeButton(this, "BtnClear", "Clear", kSideButton);
    BtnMoveUp = MakeButton(this, "BtnMoveUp", "Move Up", kSideButton);
    BtnMoveDown = MakeButton(this, "BtnMoveDown", "Move Down", kSideButton);
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
    CboIpod = MakeList(this, "CboIpod", {"none"}, 0, 120);
    CboIpod->setToolTip("The iPod each converted file is put on");
    ChkKeepCopy = MakeCheckBox(this, "ChkKeepCopy", "Keep a copy on this computer");
    ChkKeepCopy->setToolTip("Files put on the iPod stay in the output folder too");
    ChkKeepCopy->setChecked(true);
    row->addWidget(Label1);
    row->addWidget(EdtOutputFolder, 1);
    row->addWidget(BtnChangeOutputFolder);
    row->addSpacing(4);
    row->addWidget(MakeLabel(this, "LblIpod", "iPod: "));
    row->addWidget(CboIpod);
    row->addWidget(ChkKeepCopy);
    return row;
}

QLayout* TForm1::BuildRunButtons() {
    // Beside the settings: the run at the top, the window's own buttons at
    // the bottom.
    auto* column = new QVBoxLayout;
    column->setSpacing(5);
    column->setContentsMargins(0, 6, 0, 0);
    BtnStart = MakeButton(this, "BtnStart", "Convert", {kSideButton.width(), 56});
    QFont bold = BtnStart->font();
    bold.setBold(true);
    BtnStart->setFont(bold);
    BtnLog = MakeButton(this, "BtnLog", "Log", kSideButton);
    BtnLog->setToolTip("What the last conversion did, file by file");
    BtnAbout = MakeButton(this, "BtnAbout", "About", kSideButton);
    BtnHelp = MakeButton(this, "BtnHelp", "Help", kSideButton);
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
}

// ---- Start-up, settings and close ----

bool TForm1::FormCreate() {
    TApplication::SetErrorHandler([this](const std::exception& error) { ApplicationException(error); });
    const QString bundled = QDir(QCoreApplication::applicationDirPath()).filePath("LibAV");
    const std::string folder = QFileInfo(bundled).isDir() ? (bundled + "/").toStdString() : std::string();
    if (!VexmoC.LoadLibraries(folder, true)) {
        ShowMessageBox(Q(VexmoC.LastErrorMessage()) + " Please re-install the program and try it again.", "Error",
                       QMessageBox::Information);
        return false;
    }
    MarkUnavailableDevices();
    ReadSettings();
    WatchForIpods();
    return true;
}

void TForm1::WatchForIpods() {
    // The kernel marks the mount table when a drive comes or goes; the iPods
    // are looked for then, and only then. The search asks the bound libraries
    // which devices they can make files for, so it starts once they are bound.
    mount_table_ = std::make_unique<QFile>("/proc/self/mounts");
    if (mount_table_->open(QIODevice::ReadOnly)) {
        mount_watch_ = std::make_unique<QSocketNotifier>(mount_table_->handle(), QSocketNotifier::Exception);
        connect(mount_watch_.get(), &QSocketNotifier::activated, this, &TForm1::RefreshIpods);
    }
    RefreshIpods();
}

void TForm1::MarkUnavailableDevices() {
    auto* model = qobject_cast<QStandardItemModel*>(DeviceList()->model());
    for (const TDevice& device : Devices()) {
        const std::string reason = DeviceUnavailableReason(device);
        const int row = DeviceList()->findData(Q(device.ShortName));
        if (reason.empty() || !model || row < 0) continue;
        QStandardItem* item = model->item(row);
        item->setText(item->text() + " (" + Q(reason) + ")");
        item->setEnabled(false);
    }
}

QComboBox* TForm1::DeviceList() const { return qobject_cast<QComboBox*>(Settings->Control("device")); }

void TForm1::ReadSettings() {
    const TWindowSettings settings = ReadWindowSettings(SettingsPath());
    EdtOutputFolder->setText(Q(settings.Values.at("output-folder")));
    Settings->Show(settings.Values);
    // A device these libraries cannot make files for is not chosen.
    const auto* model = qobject_cast<QStandardItemModel*>(DeviceList()->model());
    if (model && !model->item(DeviceList()->currentIndex())->isEnabled())
        DeviceList()->setCurrentIndex(DeviceList()->findData(SettingRow("device").Default));
    ChkKeepCopy->setChecked(settings.KeepCopy);
    wanted_ipod_ = settings.Ipod;
    RestoreWindowSize(settings);
}

void TForm1::RestoreWindowSize(const TWindowSettings& settings) {
    // A size the controls do not fit in, or one no screen of today could
    // show (the file may come from a larger screen), is not used.
    const QSize stored(settings.WindowWidth, settings.WindowHeight);
    const QSize largest = screen() ? screen()->availableVirtualSize() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const bool usable = stored.width() >= minimumWidth() && stored.height() >= minimumHeight() &&
                        stored.width() <= largest.width() && stored.height() <= largest.height();
    resize(usable ? stored : kDesignSize);
    if (settings.WindowMaximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm1::WriteSettings() {
    TWindowSettings settings;
    settings.Values = Settings->Values();
    settings.Values["output-folder"] = EdtOutputFolder->text().toStdString();
    settings.Ipod = wanted_ipod_;
    settings.KeepCopy = ChkKeepCopy->isChecked();
    // A maximised window keeps the size it had before, to return to it.
    const QSize size = isMaximized() ? normalGeometry().size() : this->size();
    if (size.isValid()) {
        settings.WindowWidth = size.width();
        settings.WindowHeight = size.height();
    }
    settings.WindowMaximized = isMaximized();
    WriteWindowSettings(SettingsPath(), settings);
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

// ---- The job list ----

TConversionSettings TForm1::ConversionSettings() const {
    TSettingValues values = Settings->Values();
    values["output-folder"] = EdtOutputFolder->text().toStdString();
    TConversionSettings settings = SettingsFrom(values);
    if (const TIpod* ipod = ChosenIpod()) settings.Model = ipod->VideoLimit;
    return settings;
}

void TForm1::BtnAddClick() {
    const QStringList files = ChooseFilesToConvert();
    if (!files.isEmpty()) AddFiles(files);
}

QStringList TForm1::ChooseFilesToConvert() {
    QFileDialog dialog(this, "Choose Files to Convert");
    dialog.setFileMode(QFileDialog::ExistingFiles);
    // The dialog shows the labels as written and matches either case.
    dialog.setOptions(QFileDialog::ReadOnly | QFileDialog::HideNameFilterDetails | QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(DialogNameFilters(kOpenDialogFilter));
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

void TForm1::AddFiles(const QStringList& paths, bool gatherRefusals) {
    // Checking a file creates its output, so the folder must exist already
    // (a first start's default folder does not): made as a run makes it.
    QDir().mkpath(EdtOutputFolder->text());
    QStringList refused;
    for (const QString& path : paths) {
        const std::optional<TUserMessage> refusal = AddOneFile(path);
        if (!refusal) continue;
        if (gatherRefusals)
            refused << Q(refusal->text);
        else
            ShowMessage(*refusal);
    }
    VexmoC.ClearTasks();
    // The pictures are taken once the files are in: taking them while the
    // files are checked would slow adding a folder down.
    StartThumbnails();
    if (!refused.isEmpty()) ShowMessageBox(refused.join('\n'), "Error", QMessageBox::Information);
}

std::optional<TUserMessage> TForm1::AddOneFile(const QString& path) {
    const TConversionSettings settings = ConversionSettings();
    const TJob job = AddJob(VexmoC, path.toStdString(), settings);
    if (job.Refusal) return job.Refusal;
    const int row = Lvw->rowCount();
    Lvw->insertRow(row);
    const QString texts[colCount] = {Q(BaseNameOf(path.toStdString())), Q(job.DurationText), Q(job.TypeText),
                                     Q(job.OutputName), QString(), path};
    for (int column = 0; column < colCount; ++column) Lvw->setItem(row, column, new QTableWidgetItem(texts[column]));
    // Long names are cut in their columns: the tooltips hold them whole.
    Lvw->item(row, colInputName)->setToolTip(path);
    Lvw->item(row, colOutputName)->setToolTip(Q(job.OutputPath));
    Lvw->item(row, colInputName)->setData(kRowIdRole, next_row_id_++);
    RequestThumbnail(row, path);
    return std::nullopt;
}

bool TForm1::AcceptsDrop(const QMimeData* data) const {
    // Nothing may be added while a run converts the list.
    if (!BtnAdd->isEnabled() || !data->hasUrls()) return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Lvw->viewport()) return QWidget::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QWidget::eventFilter(watched, event);
    // Enter and move events are drop events too: they carry the same data.
    auto* drop = static_cast<QDropEvent*>(event);
    if (!AcceptsDrop(drop->mimeData())) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        std::vector<std::string> given;
        for (const QUrl& url : drop->mimeData()->urls())
            if (url.isLocalFile()) given.push_back(url.toLocalFile().toStdString());
        QStringList files;
        // A dropped folder brings everything in it, subfolders too; the files
        // among them that cannot be converted are listed in one message.
        for (const std::string& file : ExpandInputs(given, true)) files << Q(file);
        // Added once the drop is over: the file manager waits for the drop
        // to end, and adding may show message boxes.
        QMetaObject::invokeMethod(
            this, [this, files] { AddFiles(files, true); }, Qt::QueuedConnection);
    }
    return true;
}

int TForm1::SelectedRow() const {
    const QList<QTableWidgetSelectionRange> ranges = Lvw->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.first().topRow();
}

void TForm1::BtnRemoveClick() {
    const int row = SelectedRow();
    if (row < 0) return;
    Lvw->removeRow(row);
    // The list would otherwise select the next row, and a second press
    // would remove a file nobody chose.
    Lvw->clearSelection();
    Lvw->setCurrentIndex(QModelIndex());
}

void TForm1::BtnClearClick() {
    if (Lvw->rowCount() == 0) return;
    Lvw->setRowCount(0);
    VexmoC.ClearTasks();
}

void TForm1::BtnMoveUpClick() {
    const int row = SelectedRow();
    if (row > 0) MoveRow(row, row - 1);
}

void TForm1::BtnMoveDownClick() {
    const int row = SelectedRow();
    if (row >= 0 && row + 1 < Lvw->rowCount()) MoveRow(row, row + 1);
}

void TForm1::MoveRow(int from, int to) {
    for (int column = 0; column < colCount; ++column) {
        QTableWidgetItem* moved = Lvw->takeItem(from, column);
        Lvw->setItem(from, column, Lvw->takeItem(to, column));
        Lvw->setItem(to, column, moved);
    }
    Lvw->selectRow(to);
    Lvw->scrollToItem(Lvw->item(to, colInputName));
}

// ---- The run ----

void TForm1::BtnStartClick() {
    if (run_.Running()) {
        run_.Abandon();
        return;
    }
    std::vector<int> rows(static_cast<size_t>(Lvw->rowCount()));
    for (size_t row = 0; row < rows.size(); ++row) rows[row] = static_cast<int>(row);
    StartRun(rows);
}

void TForm1::StartRun(const std::vector<int>& rows) {
    std::vector<std::string> paths;
    for (int row : rows) paths.push_back(Lvw->item(row, colPath)->text().toStdString());
    if (!paths.empty() && !ConfirmIpodLimits()) return;
    std::unique_ptr<TFileDelivery> delivery;
    if (const TIpod* ipod = ChosenIpod(); ipod && !paths.empty()) {
        // Refused before anything is converted for it.
        if (ipod->Support != TIpodSupport::Supported) {
            ShowMessageBox(Q(IpodLine(*ipod)), kApplicationTitle, QMessageBox::Warning);
            return;
        }
        delivery = std::make_unique<TIpodDelivery>(ipod->Mount, ChkKeepCopy->isChecked());
    }
    run_rows_ = rows;
    const TConversionSettings settings = ConversionSettings();
    run_output_folder_ = WithTrailingSlash(settings.OutputFolder);
    run_had_failures_ = false;
    if (!paths.empty()) run_log_.Begin(paths);
    run_.Start(paths, settings, 1, std::move(delivery));
}

int TForm1::ListRow(size_t runRow) const {
    if (runRow >= run_rows_.size() || run_rows_[runRow] >= Lvw->rowCount()) return -1;
    return run_rows_[runRow];
}

bool TForm1::ConfirmIpodLimits() {
    const TDevicePlan plan = PlanForDevice(ConversionSettings());
    if (!plan.Refusal.empty()) {
        ShowMessageBox(Q(plan.Refusal), kApplicationTitle, QMessageBox::Warning);
        return false;
    }
    if (plan.Changes.empty()) return true;
    QString text = Q(std::string("For ") + DeviceAt(plan.Settings.Device).Name + " these settings change:\n");
    for (const std::string& change : plan.Changes) text += "\n" + Q(change);
    return AskYesNo(text + "\n\nConvert?", kApplicationTitle);
}

void TForm1::PostToWindowThread(std::function<void()> work) {
    QMetaObject::invokeMethod(
        this,
        [this, work = std::move(work)] {
            if (!events_detached_) work();
        },
        Qt::QueuedConnection);
}

void TForm1::SetRowStatus(size_t row, TRowOutcome outcome, const std::string& status) {
    const int position = ListRow(row);
    if (position < 0) return;
    QTableWidgetItem* statusItem = Lvw->item(position, colStatus);
    statusItem->setText(Q(status));
    // A message is usually wider than its column.
    statusItem->setToolTip(Q(status).trimmed().isEmpty() ? QString() : Q(status));
    // The run chooses every output name again; once it has, the row names
    // the file its task writes, then the one it left (none when it failed or
    // stopped before writing anything): never a file of that name from an
    // earlier run.
    if (outcome != TRowOutcome::Pending) {
        const std::string& output = run_.OutputPath(row);
        const bool ended = outcome == TRowOutcome::Completed || outcome == TRowOutcome::Stopped;
        const bool named = !output.empty();
        QTableWidgetItem* outputItem = Lvw->item(position, colOutputName);
        outputItem->setText(named ? QFileInfo(Q(output)).completeBaseName() : QString());
        outputItem->setToolTip(named ? Q(output) : QString());
        outputItem->setData(kWrittenOutputRole, named && ended ? Q(output) : QVariant());
        if (outcome == TRowOutcome::Converting && following_row_ != position) run_log_.FileStarted(row, output);
    }
    if (outcome == TRowOutcome::Failed || outcome == TRowOutcome::Refused) run_had_failures_ = true;
    if (outcome != TRowOutcome::Pending && outcome != TRowOutcome::Converting) run_log_.FileEnded(row, status);
    if (outcome != TRowOutcome::Converting) statusItem->setData(TProgressCellDelegate::kProgressRole, QVariant());
    // The list follows the file being converted.
    if (outcome == TRowOutcome::Converting && following_row_ != position) {
        following_row_ = position;
        Lvw->scrollToItem(Lvw->item(position, colInputName));
    }
    emit rowStatusChanged(position, Q(status));
}

void TForm1::ShowProgress(size_t row, int32_t frameNumber, int32_t fps, int32_t currentMs, int32_t totalMs) {
    if (const int position = ListRow(row); position >= 0 && totalMs > 0)
        Lvw->item(position, colStatus)
            ->setData(TProgressCellDelegate::kProgressRole,
                      static_cast<int>(std::clamp<int64_t>(int64_t{currentMs} * 100 / totalMs, 0, 100)));
    LblProgress->setText(Q(RunTexts::ProgressLine(frameNumber, currentMs, fps)));
}

void TForm1::ShowListProgress(const TListEstimate& estimate) { LblListProgress->setText(Q(ListProgressLine(estimate))); }

void TForm1::ShowMessage(const TUserMessage& message) {
    ShowMessageBox(Q(message.text), Q(message.caption), IconOf(message.icon));
}

void TForm1::RunStateChanged(bool running) {
    if (running) following_row_ = -1;
    for (QWidget* control : std::initializer_list<QWidget*>{BtnAdd, BtnRemove, BtnClear, BtnMoveUp, BtnMoveDown,
                                                            BtnChangeOutputFolder, CboIpod, ChkKeepCopy, BtnAbout,
                                                            BtnHelp, Settings})
        control->setEnabled(!running);
    for (QLabel* line : {LblProgress, LblListProgress}) {
        line->setText("");
        line->setVisible(running);
    }
    BtnStart->setText(running ? "Stop" : "Convert");
    // A run in which a file failed leaves its log beside the outputs.
    if (!running && run_had_failures_) run_log_.WriteTo(run_output_folder_ + "Tovrela.log");
    if (log_text_) log_text_->setPlainText(RunLogText());
    emit runStateChanged(running);
}

void TForm1::RunFinished(bool allCompleted) {
    if (allCompleted && Settings->Values().at("shutdown") == "true") shutdown_.ShutDownComputer();
}

void TForm1::AddLogLine(int32_t taskIndex, TLogLevel level, const std::string& text) {
    if (!run_.Running()) return;
    const int64_t row = run_.RowOfTaskIndex(taskIndex);
    if (row >= 0) run_log_.FileLine(static_cast<size_t>(row), level, text);
}

QString TForm1::RunLogText() const { return Q(run_log_.Text()); }

// ---- Thumbnails ----

void TForm1::RequestThumbnail(int row, const QString& path) {
    wanted_thumbnails_.push_back({Lvw->item(row, colInputName)->data(kRowIdRole).toLongLong(), path.toStdString()});
}

void TForm1::StartThumbnails() {
    for (auto& [rowId, path] : wanted_thumbnails_) TakeThumbnail(rowId, std::move(path));
    wanted_thumbnails_.clear();
}

void TForm1::TakeThumbnail(qint64 rowId, std::string path) {
    thumbnails_.start([this, rowId, path = std::move(path)] {
        const std::optional<TPosterPicture> picture = GrabPosterPicture(path, kThumbnailSize.width());
        if (!picture) return;
        const QImage image = QImage(picture->Rgb.data(), picture->Width, picture->Height, picture->Width * 3,
                                    QImage::Format_RGB888)
                                 .copy();
        // The window waits for this job before it goes, so it is there to
        // receive the picture.
        QMetaObject::invokeMethod(
            this, [this, rowId, image] { ShowThumbnail(rowId, image); }, Qt::QueuedConnection);
    });
}

void TForm1::ShowThumbnail(qint64 rowId, const QImage& picture) {
    for (int row = 0; row < Lvw->rowCount(); ++row) {
        QTableWidgetItem* item = Lvw->item(row, colInputName);
        if (item->data(kRowIdRole).toLongLong() != rowId) continue;
        item->setIcon(QIcon(QPixmap::fromImage(picture.scaled(kThumbnailSize, Qt::KeepAspectRatio,
                                                              Qt::SmoothTransformation))));
        return;
    }
}

void TForm1::StopThumbnails() {
    thumbnails_.clear();
    thumbnails_.waitForDone();
}

// ---- iPods ----

void TForm1::RefreshIpods() {
    // Reading an iPod's database takes a while: the window goes on meanwhile.
    ipod_search_.start([this] {
        std::vector<TIpod> found = MountedIpods();
        QMetaObject::invokeMethod(
            this, [this, found = std::move(found)] { ShowIpods(found); }, Qt::QueuedConnection);
    });
}

void TForm1::ShowIpods(const std::vector<TIpod>& ipods) {
    ipods_ = ipods;
    CboIpod->clear();
    CboIpod->addItem("none");
    for (const TIpod& ipod : ipods_) {
        const QString label = Q(ipod.Label());
        CboIpod->addItem(ipod.Support == TIpodSupport::Supported ? label : label + " (cannot receive videos)",
                         Q(ipod.Mount));
        CboIpod->setItemData(CboIpod->count() - 1, Q(IpodLine(ipod)), Qt::ToolTipRole);
    }
    const int wanted = wanted_ipod_.empty() ? 0 : CboIpod->findData(Q(wanted_ipod_));
    CboIpod->setCurrentIndex(std::max(0, wanted));
}

void TForm1::CboIpodSelect() {
    const TIpod* ipod = ChosenIpod();
    wanted_ipod_ = ipod ? ipod->Mount : std::string();
    if (!ipod) return;
    // The device list follows the iPod's model, unless the libraries cannot
    // make its files.
    const auto* model = qobject_cast<QStandardItemModel*>(DeviceList()->model());
    const int device = DeviceList()->findData(Q(DeviceAt(ipod->Device).ShortName));
    if (device >= 0 && (!model || model->item(device)->isEnabled())) DeviceList()->setCurrentIndex(device);
}

const TIpod* TForm1::ChosenIpod() const {
    const std::string mount = CboIpod->currentData().toString().toStdString();
    for (const TIpod& ipod : ipods_)
        if (!mount.empty() && ipod.Mount == mount) return &ipod;
    return nullptr;
}

// ---- What a row offers ----

QString TForm1::WrittenOutput(int row) const {
    const QString path = Lvw->item(row, colOutputName)->data(kWrittenOutputRole).toString();
    return !path.isEmpty() && QFileInfo::exists(path) ? path : QString();
}

QMenu* TForm1::RowMenu(int row) {
    auto* menu = new QMenu(this);
    const bool idle = !run_.Running();
    const bool written = !WrittenOutput(row).isEmpty();
    menu->addAction("Open", this, [this, row] { OpenOutput(row); })->setEnabled(written);
    menu->addAction("Show in folder", this, [this, row] { ShowOutputInFolder(row); })->setEnabled(written);
    menu->addSeparator();
    menu->addAction("Remove", this, [this, row] {
        Lvw->selectRow(row);
        BtnRemoveClick();
    })->setEnabled(idle);
    menu->addAction("Convert again", this, [this, row] { StartRun({row}); })->setEnabled(idle);
    return menu;
}

void TForm1::OpenOutput(int row) {
    const QString output = WrittenOutput(row);
    if (!output.isEmpty()) OpenLink(QUrl::fromLocalFile(output));
}

void TForm1::ShowOutputInFolder(int row) {
    const QString output = WrittenOutput(row);
    if (output.isEmpty() || SelectInFileManager(output)) return;
    OpenLink(QUrl::fromLocalFile(QFileInfo(output).path()));
}

bool TForm1::SelectInFileManager(const QString& path) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                      "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 3000).type() == QDBusMessage::ReplyMessage;
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

bool TForm1::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

void TForm1::ShowMessageBox(const QString& text, const QString& caption, QMessageBox::Icon icon) {
    pending_messages_.push_back({text, caption, icon});
    if (showing_message_) return;
    showing_message_ = true;
    struct TDone {
        bool& showing;
        ~TDone() { showing = false; }
    } done{showing_message_};
    while (!pending_messages_.empty()) {
        const TPendingMessage next = pending_messages_.front();
        pending_messages_.pop_front();
        PresentMessageBox(next.text, next.caption, next.icon);
    }
}

void TForm1::PresentMessageBox(const QString& text, const QString& caption, QMessageBox::Icon icon) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, this);
    box.exec();
}

bool TForm1::AskYesNo(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
