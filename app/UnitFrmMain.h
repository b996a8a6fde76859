#pragma once
// The main window: the job list, the output settings, and the conversion run
// with its statuses. The window holds no conversion logic of its own: files
// become tasks through the shared job routine, and the run (statuses,
// messages, its end) is the shared conversion run, which this window shows.

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QSize>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>
#include <QWidget>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ConversionRun.h"
#include "IpodFinder.h"
#include "RunLog.h"
#include "VexmoConverter.h"
#include "WindowSettings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QPlainTextEdit;
class QPushButton;
class QSocketNotifier;
class QTableWidget;
class TIpodLibraryDialog;
class TIpodSyncDialog;
class TSettingsPanel;
class TShutdown;

class TForm1 : public QWidget, private TRunView {
    Q_OBJECT
public:
    // A button a message box offers besides OK, and what it does.
    struct TBoxButton {
        QString caption;
        std::function<void()> action;
    };
    static constexpr const char* kApplicationTitle = RunTexts::kApplicationTitle;
    // "Videos", first and chosen at the start, lists every kind the program
    // reads; "All files" last also shows files without an extension.
    static constexpr const char* kOpenDialogFilter =
        "Videos|*.mp4;*.m4v;*.mkv;*.webm;*.ts;*.mts;*.m2ts;*.3gp;*.3g2;*.flv;*.f4v;*.ogv;*.ogg;*.vob;*.dv;*.m2v;"
        "*.avi;*.divx;*.div;*.xvid;*.mpeg;*.mpg;*.wmv;*.asf;*.rm;*.rmvb;*.dat;*.mov;*.swf|"
        "All supported Media "
        "Format|*.avi;*.divX;*.div;*.xvid;*.mpeg;*.mpg;*.wmv;*.asf;*.rm;*.rmvb;*.dat;*.mov;*.swf|AVI(*.avi)|*.avi|"
        "DivX(*.divx;*.div)|*.divx;*.div|Xvid(*.xvid)|*.xvid|MPEG(*.mpeg;*.mpg)|*.mpeg;*.mpg|WMV(*.wmv)|*.wmv|ASF(*."
        "asf)|*.asf|Real Video(*.rm;*.rmvb)|*.rm;*.rmvb|VCD Format(*.dat)|*.dat|Quick Time "
        "Format(*.mov)|*.mov|SWF(*.swf)|*.swf|All files (*)|*";
    // The window's size when it first starts, where the screen has the room.
    static constexpr QSize kDesignSize{655, 448};
    // Rows the list shows whole at that size.
    static constexpr int kRowsAtDesignSize = 7;
    // Columns of the job list.
    enum TColumn { colInputName, colDuration, colType, colOutputName, colStatus, colPath, colCount };

    explicit TForm1(TShutdown& shutdown, QWidget* parent = nullptr);
    ~TForm1() override;

    // Binds the codec libraries ("LibAV" beside the program when that folder
    // exists, else the system's) and reads the settings. False, after its
    // message, when the libraries cannot be bound: the program then ends.
    bool FormCreate();
    // Detaches the events, stops the conversion, waits for running tasks,
    // releases the libraries and saves the settings.
    void FormCloseQuery();
    // Closes the window without asking, also during a run: for the session
    // ending and for stop signals.
    void CloseWithoutAsking();
    static constexpr const char* kStopAndCloseQuestion = "Conversion is running. Stop it and close?";
    static constexpr const char* kStopSyncAndCloseQuestion = "A sync to the iPod is running. Stop it and close?";

    // Adds each file as a row, or shows why it cannot be converted (one
    // message listing every refused file when `gatherRefusals`); the tasks
    // made to check the files are discarded afterwards.
    void AddFiles(const QStringList& paths, bool gatherRefusals = false);
    // Adds files and folders as a drop onto the list adds them: also the
    // ones given on the program's command line.
    void AddDropped(const QStringList& paths);
    // The menu a row offers: "Open", "Show in folder", "Remove", "Convert
    // again"; the caller owns it.
    QMenu* RowMenu(int row);
    // The log of the last run, as the log window shows it.
    QString RunLogText() const;
    // The output settings as the controls read now.
    TConversionSettings ConversionSettings() const;
    bool Running() const { return run_.Running(); }
    TVexmoConverter& Converter() { return VexmoC; }

    // Shows an error that reached the event loop.
    void ApplicationException(const std::exception& error);
    // Opens a page or mail link with the desktop's program; when there is
    // none, says so with the address, so that it can be opened by hand.
    void OpenLink(const QUrl& url);

signals:
    void rowStatusChanged(int row, const QString& status);
    void runStateChanged(bool running);

public slots:
    void BtnAddClick();
    void BtnRemoveClick();
    void BtnClearClick();
    void BtnMoveUpClick();
    void BtnMoveDownClick();
    void BtnStartClick();
    void BtnChangeOutputFolderClick();
    void BtnAboutClick();
    void BtnHelpClick();
    void BtnLogClick();
    // "On this iPod…": the chosen iPod's videos, with Remove.
    void ActIpodLibraryClick();
    // "Sync a folder to the iPod…": the plan of keeping the chosen folders
    // on the chosen iPod, then the sync once the person starts it.
    void ActSyncClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Files and folders dropped onto the job list are added as "Add" adds them.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // What the person chooses and is shown; tests put their own in.
    virtual QStringList ChooseFilesToConvert();
    virtual QString ChooseOutputFolder();
    // The folders to keep on the iPod; empty when none is chosen.
    virtual QStringList ChooseSyncFolders();
    // Shows one message box and returns once it is closed, after doing what
    // the button pressed does.
    virtual void PresentMessageBox(const QString& text, const QString& caption, QMessageBox::Icon icon,
                                   const std::vector<TBoxButton>& buttons);
    // Tells the desktop's notification service, when there is one.
    virtual void NotifyDesktop(const QString& summary, const QString& body);
    // A run that ends by itself after this long, while the person is in
    // another window, is told through the desktop's notification service.
    qint64 notify_after_ms_ = 60000;
    // Asks for a small picture of the row's video, taken on a worker thread
    // once the add is over and shown at the start of the row when it arrives.
    virtual void RequestThumbnail(int row, const QString& path);
    // A warning with Yes and No; true for Yes.
    virtual bool AskYesNo(const QString& text, const QString& caption);
    // False when the desktop has no program for the link.
    virtual bool OpenUrl(const QUrl& url);
    // The room the window's screen leaves for windows (without panels and
    // docks), in the window's own pixels.
    virtual QSize AvailableRoom() const;
    // Asks the desktop's file manager to show the file selected; false when
    // none answers.
    virtual bool SelectInFileManager(const QString& path);

private:
    // What the conversion run shows.
    void SetRowStatus(size_t row, TRowOutcome outcome, const std::string& status) override;
    void ShowProgress(size_t row, int32_t frameNumber, int32_t fps, int32_t currentMs, int32_t totalMs) override;
    void ShowListProgress(const TListEstimate& estimate) override;
    void ShowMessage(const TUserMessage& message) override;
    // What putting the files on the iPod has to say that is no failure, in
    // the row it concerns: its tooltip and log, and its status while it waits.
    void ShowIpodNotice(const std::string& notice);
    // With "Open folder" and "Show log".
    void ShowRunEnd(const TUserMessage& message) override;
    size_t CompletedRows() const;
    void ShowDecisions(size_t row, const std::vector<std::string>& notes) override;
    void RunStateChanged(bool running) override;
    void RunFinished(bool allCompleted) override;
    bool ListsFailuresAtEnd() const override { return true; }

    // Shows a message once every box shown before it has been closed: a
    // message raised while a box is open (from within its modal loop) waits
    // its turn instead of opening on top of it.
    void ShowMessageBox(const QString& text, const QString& caption, QMessageBox::Icon icon,
                        std::vector<TBoxButton> buttons = {});
    // The window's areas, each in a layout of its own.
    void BuildControls();
    QWidget* BuildJobList();
    QLayout* BuildListButtons();
    QLayout* BuildProgressLines();
    QLayout* BuildOutputFolderRow();
    QWidget* BuildIpodMenu();
    QLayout* BuildRunButtons();
    void ConnectControls();
    void ReadSettings();
    // Greys out the devices whose encoders the bound libraries lack.
    void MarkUnavailableDevices();
    QComboBox* DeviceList() const;
    void WriteSettings();
    void RestoreWindowSize(const TWindowSettings& settings);
    // Takes rows off the list's least height where the window would not fit
    // the room otherwise.
    void FitMinimumToRoom(QSize room);
    // The height of a list showing `rows` rows of the smallest height whole.
    int ListHeightFor(int rows) const;
    // Rows as tall as the list's height gives the rows it shows at the
    // design size, their pictures as large as the rows.
    void FitRowsToList();
    // The refusal, when the file got no row.
    std::optional<TUserMessage> AddOneFile(const QString& path);
    // Converts the given rows of the list, in their order.
    void StartRun(const std::vector<int>& rows);
    // The list row of a row of the run, -1 when the list has no such row.
    int ListRow(size_t runRow) const;
    // The file this run wrote for the list row, empty when none.
    QString WrittenOutput(int row) const;
    void OpenOutput(int row);
    void ShowOutputInFolder(int row);
    void AddLogLine(int32_t taskIndex, TLogLevel level, const std::string& text);
    void StartThumbnails();
    void TakeThumbnail(qint64 rowId, std::string path);
    void ShowThumbnail(qint64 rowId, const QImage& picture);
    // Drops the pictures not yet taken and waits for those being taken.
    void StopThumbnails();
    // Looks for iPods now and whenever a drive is mounted or unmounted.
    void WatchForIpods();
    // Looks for the connected iPods beside the window; the iPod list shows
    // them once found.
    void RefreshIpods();
    // The iPod list: "No iPod connected" (or "No iPod"), then the iPods found, the chosen one kept.
    void ShowIpods(const std::vector<TIpod>& ipods);
    // Makes the files for the chosen iPod's model.
    void CboIpodSelect();
    // The chosen iPod, when one is chosen.
    const TIpod* ChosenIpod() const;
    // The iPod's own actions can be taken while an iPod is chosen; a sync
    // only while no conversion runs, and a conversion only while no sync does.
    void UpdateIpodActions();
    bool SyncRunning() const;
    bool AcceptsDrop(const QMimeData* data) const;
    int SelectedRow() const;
    void MoveRow(int from, int to);
    // False when the settings make files an iPod cannot play and the person
    // chooses not to convert with them; without video only the sound's
    // settings count.
    bool ConfirmIpodLimits(bool withVideo);
    // Component events arrive on task threads; this hands them to the window
    // thread without ever waiting for it.
    void PostToWindowThread(std::function<void()> work);

    TVexmoConverter VexmoC;
    // The list rows the run converts, in run order.
    std::vector<int> run_rows_;
    std::string run_output_folder_;
    bool run_had_failures_ = false;
    QElapsedTimer run_clock_;
    TRunLog run_log_;
    QPlainTextEdit* log_text_ = nullptr;
    // Each row's own number, kept on its input item: rows move and go while
    // their pictures are taken.
    qint64 next_row_id_ = 0;
    std::vector<std::pair<qint64, std::string>> wanted_thumbnails_;
    QThreadPool thumbnails_;
    // The mount table, whose changes bring a new look for iPods.
    std::unique_ptr<QFile> mount_table_;
    std::unique_ptr<QSocketNotifier> mount_watch_;
    QThreadPool ipod_search_;
    std::vector<TIpod> ipods_;
    // The iPod to choose whenever it is connected; empty for none.
    std::string wanted_ipod_;
    QPointer<TIpodLibraryDialog> library_dialog_;
    QPointer<TIpodSyncDialog> sync_dialog_;
    // The row the list last scrolled to, as its file began converting.
    int following_row_ = -1;
    TShutdown& shutdown_;
    bool events_detached_ = false;
    bool closed_ = false;
    bool close_without_asking_ = false;
    struct TPendingMessage {
        QString text;
        QString caption;
        QMessageBox::Icon icon;
        std::vector<TBoxButton> buttons;
    };
    std::deque<TPendingMessage> pending_messages_;
    bool showing_message_ = false;

    QTableWidget* Lvw;
    QPushButton* BtnAdd;
    QPushButton* BtnRemove;
    QPushButton* BtnClear;
    QPushButton* BtnMoveUp;
    QPushButton* BtnMoveDown;
    QLabel* Label1;
    QLineEdit* EdtOutputFolder;
    QPushButton* BtnChangeOutputFolder;
    QComboBox* CboIpod;
    QAction* ActIpodLibrary;
    QAction* ActSync;
    QCheckBox* ChkKeepCopy;
    TSettingsPanel* Settings;
    QLabel* LblProgress;
    QLabel* LblListProgress;
    QPushButton* BtnStart;
    QPushButton* BtnLog;
    QPushButton* BtnAbout;
    QPushButton* BtnHelp;

    // Last, so that it is built once the controls exist and goes first.
    TConversionRun run_;
};
