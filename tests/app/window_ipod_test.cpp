// The window puts converted files on an iPod it finds in the mount table:
// the iPod list follows drives as they come, the files are made for the
// iPod's model and listed in its database with their artwork, the output
// folder keeps them only when asked, and a failure to send shows in the rows
// and in the run's one failure box.

#include <sched.h>
#include <sys/mount.h>

#include <QAction>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include "IpodLibraryDialog.h"
#include "IpodSyncDialog.h"
#include "IpodTestSupport.h"
#include "WindowTestSupport.h"

namespace {

constexpr int kRunTimeoutMs = 120000;

// The test's mounts stay its own: a mount table of its own, made before any
// thread starts (a process with threads cannot leave the shared one).
const bool kOwnMountTable = [] {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}();

// An iPod made on a file system of its own and then mounted at home/ipod, as
// plugging it in mounts it; unmounted when the object goes.
struct TPluggedIpod {
    QByteArray device;
    QByteArray mount;
    TPluggedIpod(const TTestHome& home, const char* model, bool firewireGuid, const char* room = "size=64m")
        : device(home.Path("device").toLocal8Bit()), mount(home.Path("ipod").toLocal8Bit()) {
        QDir().mkpath(QString::fromLocal8Bit(device));
        QDir().mkpath(Mount());
        QVERIFY(::mount("tovrela-test", device.constData(), "tmpfs", 0, room) == 0);
        const std::string made = MakeTestIpod(device.toStdString(), model, firewireGuid);
        QVERIFY2(made.empty(), made.c_str());
        QVERIFY(::mount(device.constData(), mount.constData(), nullptr, MS_BIND, nullptr) == 0);
        // Only the iPod's own mount is left.
        ::umount2(device.constData(), MNT_DETACH);
    }
    ~TPluggedIpod() { ::umount2(mount.constData(), MNT_DETACH); }
    QString Mount() const { return QString::fromLocal8Bit(mount); }
};

}  // namespace

class WindowIpodTest : public QObject {
    Q_OBJECT

    // Chooses the iPod once the window lists it, as a person picks it.
    static void ChooseIpod(TWindowFixture& f, const QString& mount) {
        auto* list = f.form.Control<QComboBox>("CboIpod");
        QTRY_VERIFY_WITH_TIMEOUT(list->findData(mount) > 0, 10000);
        list->setCurrentIndex(list->findData(mount));
        emit list->activated(list->currentIndex());
    }

private slots:
    void initTestCase() {
        if (!kOwnMountTable) QSKIP("mounting a test iPod needs root");
    }

    void filesGoOnTheChosenIpodWithTitleKindAndArtwork_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("firewireGuid");
        QTest::addColumn<bool>("keep");
        QTest::newRow("fifth generation, copies kept") << "MA002" << false << true;
        QTest::newRow("classic, no copies") << "MB029" << true << false;
    }
    void filesGoOnTheChosenIpodWithTitleKindAndArtwork() {
        QFETCH(QString, model);
        QFETCH(bool, firewireGuid);
        QFETCH(bool, keep);
        TWindowFixture f;
        QCOMPARE(f.form.Control<QComboBox>("CboIpod")->currentText(), QString("No iPod connected"));
        TPluggedIpod ipod(f.home, model.toLatin1().constData(), firewireGuid);
        ChooseIpod(f, ipod.Mount());
        // Made for the iPod's model: H.264 on both.
        QCOMPARE(f.form.Control<QComboBox>("CboDevice")->currentIndex(), 1);
        f.form.Control<QCheckBox>("ChkKeepCopy")->setChecked(keep);
        f.AddClips({{"avi_mpeg4_mp3.avi", "Some.Show.S01E02.avi"}, {"mpeg_ps_mpeg2_mp2.mpg", "dvd.mpg"}});

        f.form.Control<QPushButton>("BtnStart")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"Completed, on iPod", "Completed, on iPod"}));
        QCOMPARE(f.form.MessageTexts(), QStringList({"File conversion process finished."}));
        std::string error;
        const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod.Mount().toStdString(), error);
        QCOMPARE(error, std::string());
        QCOMPARE(tracks.size(), size_t(2));
        for (const TTestIpodTrack& track : tracks) QVERIFY2(track.HasArtwork, track.Title.c_str());
        // Titled by the input's own tag, a TV show by its name.
        QCOMPARE(tracks[0].Title, std::string("Tovrela test clip"));
        QCOMPARE(tracks[0].Kind, std::string("TV show"));
        QCOMPARE(tracks[0].Show, std::string("Some Show"));
        QCOMPARE(tracks[1].Title, std::string("dvd"));
        QCOMPARE(tracks[1].Kind, std::string("movie"));
        QCOMPARE(QDir(f.Out()).entryList(QDir::Files).size(), keep ? 2 : 0);

        f.form.close();
        const TWindowSettings stored = ReadWindowSettings(f.home.SettingsFile().toStdString());
        QCOMPARE(QString::fromStdString(stored.Ipod), ipod.Mount());
        QCOMPARE(stored.KeepCopy, keep);
    }

    void aFileAlreadyOnTheIpodReadsSoInItsRowAndLog() {
        TWindowFixture f;
        TPluggedIpod ipod(f.home, "MA002", false);
        ChooseIpod(f, ipod.Mount());
        f.AddClips({{"avi_mpeg4_mp3.avi", "first.avi"}});
        for (const char* status : {"Completed, on iPod", "Completed, already on the iPod"}) {
            f.form.Control<QPushButton>("BtnStart")->click();
            QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
            QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({status}));
        }
        QVERIFY2(f.form.RunLogText().contains("first.m4v: already on the iPod"), qPrintable(f.form.RunLogText()));
    }

    void aFailedSendShowsInTheRowsAndInTheFailureBox() {
        TWindowFixture f;
        TPluggedIpod ipod(f.home, "MA002", false);
        // The new database's temporary name is taken by a folder.
        QVERIFY(QDir().mkpath(ipod.Mount() + "/iPod_Control/iTunes/iTunesDB.tovrela-new-" +
                              QString::number(QCoreApplication::applicationPid())));
        ChooseIpod(f, ipod.Mount());
        f.AddClips({{"avi_mpeg4_mp3.avi", "first.avi"}});
        f.form.Control<QPushButton>("BtnStart")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        const QString status = f.form.Column(TForm1::colStatus).value(0);
        QVERIFY2(status.startsWith("Completed, not on iPod: iPod \"Test iPod\" (" + ipod.Mount() + ")"),
                 qPrintable(status));
        QCOMPARE(f.form.messages.size(), 1);
        QVERIFY2(f.form.messages[0].text.contains("This file was converted but is not on the iPod:\n" +
                                                  f.home.Path("in/first.avi") + ": iPod \"Test iPod\" (" +
                                                  ipod.Mount() + "): could not write its database"),
                 qPrintable(f.form.messages[0].text));
        QCOMPARE(f.form.messages[0].icon, QMessageBox::Warning);
        QVERIFY(QFileInfo::exists(f.Out() + "/first.m4v"));
        QVERIFY(FilesOnIpod(ipod.Mount().toStdString()).empty());
    }

    // "On this iPod…" lists the videos with their posters, kinds, lengths
    // and sizes and the iPod's space; Remove asks naming the title, then
    // takes the video and its file off in one write, or, when the database
    // cannot be written, says so naming the iPod and leaves both videos.
    void theIpodsVideosAreListedAndOneIsRemovedAfterAsking_data() {
        QTest::addColumn<bool>("writable");
        QTest::newRow("removed") << true;
        QTest::newRow("database cannot be written") << false;
    }
    void theIpodsVideosAreListedAndOneIsRemovedAfterAsking() {
        QFETCH(bool, writable);
        TWindowFixture f;
        TPluggedIpod ipod(f.home, "MA002", false);
        const std::string mount = ipod.Mount().toStdString();
        std::vector<TTestIpodTrack> videos(2);
        videos[0].Title = "A Film", videos[0].Kind = "movie", videos[0].LengthMs = 5400000, videos[0].Size = 3000000;
        videos[0].HasArtwork = true;
        videos[1].Title = "Pilot", videos[1].Kind = "TV show", videos[1].LengthMs = 1500000, videos[1].Size = 1000000;
        const std::string put = PutTestIpodVideos(mount, videos);
        QVERIFY2(put.empty(), put.c_str());
        if (!writable)
            QVERIFY(QDir().mkpath(ipod.Mount() + "/iPod_Control/iTunes/iTunesDB.tovrela-new-" +
                                  QString::number(QCoreApplication::applicationPid())));
        ChooseIpod(f, ipod.Mount());
        f.form.Control<QAction>("ActIpodLibrary")->trigger();
        auto* dialog = f.form.findChild<TIpodLibraryDialog*>();
        QVERIFY(dialog);
        auto* list = dialog->findChild<QTableWidget*>("LvwIpodVideos");
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->Busy() && list->rowCount() == 2, 10000);
        const auto column = [list](int at) {
            QStringList texts;
            for (int row = 0; row < list->rowCount(); ++row) texts << list->item(row, at)->text();
            return texts;
        };
        QCOMPARE(column(0), QStringList({"A Film", "Pilot"}));
        QCOMPARE(column(1), QStringList({"Movie", "TV show"}));
        QCOMPARE(column(2), QStringList({"1:30:00", "25:00"}));
        QCOMPARE(column(3), QStringList({"3.0 MB", "1.0 MB"}));
        // The film's own grey poster; the other a placeholder's play mark.
        const auto middle = [list](int row) {
            const QImage picture = list->item(row, 0)->icon().pixmap(list->iconSize()).toImage();
            return qGray(picture.pixel(picture.width() / 2, picture.height() / 2));
        };
        QVERIFY2(std::abs(middle(0) - 200) < 12, qPrintable(QString::number(middle(0))));
        QVERIFY(middle(1) < 160);
        const QString space = dialog->findChild<QProgressBar*>("BarIpodSpace")->format();
        QVERIFY2(space.contains(QRegularExpression("^[0-9.]+ [MG]B used, [0-9.]+ [MG]B free$")), qPrintable(space));

        list->selectRow(0);
        dialog->findChild<QPushButton*>("BtnRemoveVideos")->click();
        QCOMPARE(f.form.questions.size(), 1);
        QVERIFY2(f.form.questions[0].contains("\"Test iPod\"") && f.form.questions[0].endsWith("\n\"A Film\""),
                 qPrintable(f.form.questions[0]));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->Busy(), 10000);
        QCOMPARE(column(0), writable ? QStringList({"Pilot"}) : QStringList({"A Film", "Pilot"}));
        std::string error;
        const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(mount, error);
        QCOMPARE(tracks.size(), writable ? size_t(1) : size_t(2));
        QCOMPARE(FilesOnIpod(mount).size(), tracks.size());
        QCOMPARE(f.form.MessageTexts().size(), writable ? 0 : 1);
        if (!writable)
            QVERIFY2(f.form.MessageTexts()[0].contains("iPod \"Test iPod\" (" + ipod.Mount() +
                                                       "): could not write its database"),
                     qPrintable(f.form.MessageTexts()[0]));
    }

    // A sync from the window shows its plan and starts only when asked: the
    // file that already plays goes on as it is, the other converted, while
    // the window's Convert waits; the summary ends it. Closing the window
    // meanwhile asks, then stops the sync before the libraries go, leaving
    // the iPod's database whole and no file it does not list.
    void aFolderIsSyncedOnceItsPlanIsStarted_data() {
        QTest::addColumn<bool>("closeWhileSyncing");
        QTest::newRow("to the end") << false;
        QTest::newRow("window closed meanwhile") << true;
    }
    void aFolderIsSyncedOnceItsPlanIsStarted() {
        QFETCH(bool, closeWhileSyncing);
        TWindowFixture f;
        TPluggedIpod ipod(f.home, "MB029", true);
        // A file the classic plays as it is: one made for it by the window.
        f.form.Control<QComboBox>("CboDevice")->setCurrentIndex(1);
        f.AddClips({{"video_only.avi", "playable.avi"}});
        f.form.Control<QPushButton>("BtnStart")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        const QString folder = f.home.Path("Videos");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(f.Out() + "/playable.m4v", folder + "/playable.mp4"));
        CopyClip("video_only.avi", folder + "/clip.avi");
        ChooseIpod(f, ipod.Mount());
        f.form.foldersToSync = {folder};
        f.form.Control<QAction>("ActIpodLibrary")->trigger();
        auto* library = f.form.findChild<TIpodLibraryDialog*>();
        QTRY_VERIFY_WITH_TIMEOUT(!library->Busy(), 10000);

        f.form.Control<QAction>("ActSync")->trigger();
        auto* dialog = f.form.findChild<TIpodSyncDialog*>();
        QVERIFY(dialog);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->Planning(), 30000);
        const QString plan = dialog->findChild<QPlainTextEdit*>("EdtSyncPlan")->toPlainText();
        for (const char* line : {"convert  clip.avi", "copy     playable.mp4", "0 to skip, 1 to copy, 1 to convert"})
            QVERIFY2(plan.contains(line), qPrintable(plan));
        // A conversion in the window holds the sync back until it ends.
        auto* start = dialog->findChild<QPushButton*>("BtnSyncStart");
        QVERIFY(start->isEnabled());
        auto* ipods = f.form.Control<QComboBox>("CboIpod");
        ipods->setCurrentIndex(0);
        emit ipods->activated(0);
        f.form.Control<QPushButton>("BtnStart")->click();
        QVERIFY(f.form.Running() && !start->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        QVERIFY(start->isEnabled());
        ChooseIpod(f, ipod.Mount());
        QVERIFY(FilesOnIpod(ipod.Mount().toStdString()).empty());
        start->click();
        QVERIFY(dialog->Running());
        QVERIFY(!f.form.Control<QPushButton>("BtnStart")->isEnabled());
        std::string error;
        if (closeWhileSyncing) {
            f.form.close();
            QCOMPARE(f.form.questions, QStringList({TForm1::kStopSyncAndCloseQuestion}));
            QVERIFY(!f.form.findChild<TIpodSyncDialog*>());
            const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod.Mount().toStdString(), error);
            QCOMPARE(error, std::string());
            QCOMPARE(FilesOnIpod(ipod.Mount().toStdString()).size(), tracks.size());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->Running(), kRunTimeoutMs);
        QTRY_VERIFY(f.form.Control<QPushButton>("BtnStart")->isEnabled());
        const QString summary = dialog->findChild<QLabel*>("LblSyncState")->text();
        QVERIFY2(summary.startsWith("1 added, 1 copied as they were, 0 skipped, 0 removed, 0 failed"),
                 qPrintable(summary));
        const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod.Mount().toStdString(), error);
        QCOMPARE(error, std::string());
        QCOMPARE(tracks.size(), size_t(2));
        // The iPod's list shown beside it reads the iPod again.
        QTRY_COMPARE_WITH_TIMEOUT(library->findChild<QTableWidget*>("LvwIpodVideos")->rowCount(), 2, 10000);
    }

    // A plan that needs more room than the iPod has cannot be started, says
    // by how much, and offers Fit; writing nothing either way.
    void aPlanThatDoesNotFitCannotBeStarted() {
        TWindowFixture f;
        TPluggedIpod ipod(f.home, "MB029", true, "size=256k");
        CopyClip("mov_mpeg4_aac.mov", f.home.Path("Videos/film.mov"));
        ChooseIpod(f, ipod.Mount());
        f.form.foldersToSync = {f.home.Path("Videos")};
        f.form.Control<QAction>("ActSync")->trigger();
        auto* dialog = f.form.findChild<TIpodSyncDialog*>();
        QVERIFY(dialog);
        auto* plan = dialog->findChild<QPlainTextEdit*>("EdtSyncPlan");
        auto* start = dialog->findChild<QPushButton*>("BtnSyncStart");
        auto* fit = dialog->findChild<QPushButton*>("BtnSyncFit");
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->Planning(), 30000);
        QVERIFY2(plan->toPlainText().contains("more than the iPod has free; press Fit, or choose a lower profile in the main window"),
                 qPrintable(plan->toPlainText()));
        QVERIFY(!start->isEnabled());
        QVERIFY(fit->isVisibleTo(dialog) && fit->isEnabled());
        fit->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->Planning(), 30000);
        QVERIFY2(plan->toPlainText().contains("The plan does not fit even at the lowest profile"),
                 qPrintable(plan->toPlainText()));
        QVERIFY(!start->isEnabled());
        QVERIFY(FilesOnIpod(ipod.Mount().toStdString()).empty());
        QVERIFY(!QFileInfo::exists(ipod.Mount() + "/iPod_Control/Tovrela"));
    }
};

QTEST_MAIN(WindowIpodTest)
#include "window_ipod_test.moc"
