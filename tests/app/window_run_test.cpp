// Conversion runs through the window: a whole list to its finish message
// (with the shutdown asked for first), a stop during the second file, the
// enabling of the controls, settings an iPod cannot play, a file that fails
// while converting, a list of which nothing can be converted, and "Convert"
// on an empty list.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include "MediaWriter.h"
#include "RunLog.h"
#include "TestMedia.h"
#include "WindowTestSupport.h"

namespace {

constexpr int kRunTimeoutMs = 120000;

// Gives the sound of a generated AVI clip a format code no decoder knows:
// the file still opens and is accepted, and fails once it is converted.
void MakeSoundUndecodable(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const qsizetype format = bytes.indexOf("strf", bytes.indexOf("auds")) + 8;
    QVERIFY(format > 8);
    bytes[format] = bytes[format + 1] = char(0x99);
    QVERIFY(file.seek(0));
    QCOMPARE(file.write(bytes), bytes.size());
}

const char* const kDisabledWhileRunning[] = {"BtnAdd", "BtnRemove", "BtnClear", "BtnMoveUp", "BtnMoveDown",
                                             "BtnChangeOutputFolder", "GBOutput", "GBOther"};

}  // namespace

class WindowRunTest : public QObject {
    Q_OBJECT

    struct Fixture : TWindowFixture {
        void CheckIdle() {
            QCOMPARE(form.Control<QPushButton>("BtnStart")->text(), QString("&Convert"));
            QVERIFY(form.Control<QLabel>("LblProgress")->isHidden());
            for (const char* name : kDisabledWhileRunning) QVERIFY2(form.Control<QWidget>(name)->isEnabled(), name);
        }
    };

private slots:
    void aWholeListConvertsToItsFinishMessageAfterTheShutdownRequest() {
        Fixture f;
        f.AddClips({{"avi_mpeg4_mp3.avi", "first.avi"}, {"wmv_wmv2_wmav2.wmv", "second.wmv"},
                    {"mov_mpeg4_aac.mov", "third.mov"}});
        f.form.Control<QCheckBox>("ChkShutdown")->setChecked(true);
        // Long enough to be told of, in a window not in front.
        f.form.notify_after_ms_ = 0;
        f.form.buttonToPress = "Open &folder";
        QList<bool> states;
        connect(&f.form, &TForm1::runStateChanged, this, [&](bool running) { states << running; });

        f.form.Control<QPushButton>("BtnStart")->click();
        // While it runs only the list and the Stop button respond.
        QVERIFY(f.form.Running());
        QCOMPARE(f.form.Control<QPushButton>("BtnStart")->text(), QString("&Stop"));
        QVERIFY(!f.form.Control<QLabel>("LblProgress")->isHidden());
        for (const char* name : kDisabledWhileRunning) QVERIFY2(!f.form.Control<QWidget>(name)->isEnabled(), name);
        QVERIFY(f.form.Control<QWidget>("Lvw")->isEnabled());
        QVERIFY(f.form.Control<QWidget>("BtnStart")->isEnabled());

        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"Completed", "Completed", "Completed"}));
        QCOMPARE(f.form.MessageTexts(), QStringList({"File conversion process finished."}));
        QCOMPARE(f.form.messages[0].caption, QString("Information"));
        QCOMPARE(f.form.messages[0].icon, QMessageBox::Information);
        QCOMPARE(f.form.messages[0].shutdownsBefore, 1);
        QCOMPARE(f.form.messages[0].buttons, QStringList({"Open &folder", "Show &log"}));
        QCOMPARE(f.form.openedUrls, QList<QUrl>({QUrl::fromLocalFile(f.Out() + "/")}));
        QCOMPARE(f.form.notifications, QStringList({"Free Tovrela: 3 of 3 files converted"}));
        QCOMPARE(f.shutdown.requests, 1);
        QCOMPARE(states, QList<bool>({true, false}));
        f.CheckIdle();
        QCOMPARE(QDir(f.Out()).entryList(QDir::Files, QDir::Name),
                 QStringList({"first.mp4", "second.mp4", "third.mp4"}));
        for (const char* name : {"first.mp4", "second.mp4", "third.mp4"})
            QVERIFY2(QFileInfo(f.Out() + "/" + name).size() > 1000, name);
        QCOMPARE(f.form.Converter().TaskCount(), size_t(0));
    }

    void rowsShowTheFilesTheRunWroteAndNothingIsShutDownUnasked() {
        Fixture f;
        f.form.Control<QCheckBox>("ChkOverwrite")->setChecked(false);
        f.form.Control<QCheckBox>("ChkShutdown")->setChecked(false);
        // One file added twice, by separate presses of "Add": both rows first
        // read the same output name.
        CopyClip("avi_mpeg4_mp3.avi", f.home.Path("in/same.avi"));
        f.form.filesToChoose = {f.home.Path("in/same.avi")};
        f.form.BtnAddClick();
        f.form.BtnAddClick();
        QCOMPARE(f.form.Column(TForm1::colOutputName), QStringList({"same", "same"}));
        f.form.BtnStartClick();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"Completed", "Completed"}));
        QCOMPARE(f.form.Column(TForm1::colOutputName), QStringList({"same", "same(1)"}));
        QCOMPARE(QDir(f.Out()).entryList(QDir::Files, QDir::Name), QStringList({"same(1).mp4", "same.mp4"}));
        QCOMPARE(f.form.MessageTexts(), QStringList({"File conversion process finished."}));
        QCOMPARE(f.shutdown.requests, 0);

        // A converted row opens with the desktop's player, shows in its
        // folder, and converts again alone.
        emit f.form.Control<QTableWidget>("Lvw")->cellDoubleClicked(1, 0);
        std::unique_ptr<QMenu> menu(f.form.RowMenu(1));
        const auto action = [&](const QString& text) {
            for (QAction* item : menu->actions())
                if (item->text() == text) return item;
            qFatal("no menu item %s", qPrintable(text));
        };
        action("Show in folder")->trigger();
        QCOMPARE(f.form.openedUrls,
                 QList<QUrl>({QUrl::fromLocalFile(f.Out() + "/same(1).mp4"), QUrl::fromLocalFile(f.Out())}));
        action("Convert again")->trigger();
        QVERIFY(f.form.Running());
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"Completed", " "}));
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"Completed", "Completed"}));
        QCOMPARE(QDir(f.Out()).entryList(QDir::Files, QDir::Name),
                 QStringList({"same(1).mp4", "same(2).mp4", "same.mp4"}));
        QCOMPARE(f.form.Column(TForm1::colOutputName), QStringList({"same", "same(2)"}));
    }

    void stoppingDuringTheSecondFileMarksItStopped() {
        Fixture f;
        f.AddClips({{"avi_mpeg4_mp3.avi", "one.avi"}, {"avi_mpeg4_mp3.avi", "two.avi"},
                    {"avi_mpeg4_mp3.avi", "three.avi"}});
        f.form.Control<QCheckBox>("ChkShutdown")->setChecked(true);
        // The person presses "Stop" as soon as the first file reads completed,
        // while the second one converts.
        connect(&f.form, &TForm1::rowStatusChanged, this, [&](int row, const QString& status) {
            if (row == 0 && status == "Completed" && f.form.Running()) f.form.BtnStartClick();
        });
        f.form.BtnStartClick();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"Completed", "Stopped", "Stopped"}));
        // The third file was never started, so its row names no file.
        QCOMPARE(f.form.Column(TForm1::colOutputName)[0], QString("one"));
        QCOMPARE(f.form.Column(TForm1::colOutputName)[2], QString());
        QTRY_VERIFY(!QFile::exists(f.Out() + "/three.mp4"));
        QVERIFY(f.form.messages.isEmpty());
        QCOMPARE(f.shutdown.requests, 0);
        f.CheckIdle();
        QCOMPARE(f.form.Converter().TaskCount(), size_t(0));
        // Nothing that arrives afterwards changes the rows.
        f.WaitUntilQuiet();
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"Completed", "Stopped", "Stopped"}));
        QVERIFY(f.form.messages.isEmpty());
    }

    void stoppedRowsNameOnlyWhatThisRunWrote() {
        Fixture f;
        QVERIFY(f.form.Control<QCheckBox>("ChkOverwrite")->isChecked());
        // The second file is long enough to be stopped in its middle.
        TestClip longClip = FindTestClip("video_only.avi");
        longClip.durationUs = 60000000;
        f.AddClips({{"avi_mpeg4_mp3.avi", "one.avi"}});
        WriteTestClip(longClip, f.home.Path("in/two.avi").toStdString());
        f.Add({f.home.Path("in/two.avi")});
        f.AddClips({{"avi_mpeg4_mp3.avi", "three.avi"}});
        const QByteArray earlier = "an earlier run's output";
        for (const char* name : {"one.mp4", "two.mp4", "three.mp4"}) {
            QFile file(f.Out() + "/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(earlier);
        }
        const auto everyFile = [&] { return QDir(f.Out()).entryInfoList(QDir::Files | QDir::Hidden); };
        // "Stop" once the second file, written over its earlier output, has a part.
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!f.form.Running() || f.form.Column(TForm1::colStatus).value(1).trimmed().isEmpty()) return;
            for (const QFileInfo& file : everyFile())
                if (file.fileName().startsWith(".tovrela-part-") && file.size() > 40000) {
                    poll.stop();
                    f.form.BtnStartClick();
                    return;
                }
        });
        poll.start(10);
        f.form.BtnStartClick();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"Completed", "Stopped", "Stopped"}));
        // Each row names exactly the file this run left for it: the part goes
        // beside the earlier file, and the third file never started.
        QStringList named, writtenThisRun;
        auto* list = f.form.Control<QTableWidget>("Lvw");
        for (int row = 0; row < list->rowCount(); ++row)
            named << list->item(row, TForm1::colOutputName)->toolTip();
        for (const QFileInfo& file : everyFile()) {
            QFile content(file.filePath());
            QVERIFY(content.open(QIODevice::ReadOnly));
            if (content.readAll() != earlier) writtenThisRun << file.filePath();
        }
        QCOMPARE(named, QStringList({f.Out() + "/one.mp4", f.Out() + "/two (stopped).mp4", QString()}));
        QCOMPARE(writtenThisRun, QStringList({f.Out() + "/one.mp4", f.Out() + "/two (stopped).mp4"}));
    }

    void theListFollowsTheRowBeingConverted() {
        Fixture f;
        QList<std::pair<const char*, QString>> clips;
        for (int i = 0; i < 12; ++i) clips.push_back({"video_only.avi", QString("clip%1.avi").arg(i)});
        f.form.show();
        f.AddClips(clips);
        auto* list = f.form.Control<QTableWidget>("Lvw");
        const auto shown = [list](int row) {
            return list->viewport()->rect().contains(list->visualItemRect(list->item(row, TForm1::colInputName)));
        };
        QVERIFY(!shown(11));
        QList<int> hiddenWhileConverting;
        connect(&f.form, &TForm1::rowStatusChanged, this, [&](int row, const QString& status) {
            if (status.trimmed().isEmpty() || !f.form.Running()) return;
            if (!shown(row)) hiddenWhileConverting << row;
            if (row == 11) f.form.BtnStartClick();
        });
        f.form.BtnStartClick();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        QCOMPARE(hiddenWhileConverting, QList<int>());
        QVERIFY(shown(11));
    }

    void theChosenDeviceFitsWhatItCannotPlayAfterAskingAndNamesTheFile() {
        Fixture f;
        f.AddClips({{"avi_mpeg4_mp3.avi", "wide.avi"}});
        f.form.Control<QComboBox>("CboResolution")->setCurrentText("720x306");
        f.form.Control<QComboBox>("CboDevice")->setCurrentIndex(1);
        f.form.answerYes = false;
        f.form.BtnStartClick();
        QVERIFY(!f.form.Running());
        QCOMPARE(f.form.questions.size(), 1);
        QVERIFY2(f.form.questions[0].contains("\nframe size 720x306 is larger than iPod plays: using 640x272\n"),
                 qPrintable(f.form.questions[0]));
        f.form.answerYes = true;
        f.form.BtnStartClick();
        QVERIFY(f.form.Running());
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"Completed"}));
        QVERIFY(QFile::exists(f.Out() + "/wide.m4v"));
        // Sound files alone are asked nothing of the picture.
        f.form.BtnClearClick();
        f.AddClips({{"audio_only.mp3", "song.mp3"}});
        f.form.questions.clear();
        f.form.BtnStartClick();
        QVERIFY(f.form.Running());
        QCOMPARE(f.form.questions, QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
    }

    void failedFilesAreListedInTheFinishMessageAndTheLogIsLeftBesideTheOutputs() {
        Fixture f;
        f.AddClips({{"avi_mpeg4_mp3.avi", "bad.avi"}, {"avi_mpeg4_mp3.avi", "good.avi"}});
        MakeSoundUndecodable(f.home.Path("in/bad.avi"));
        f.form.BtnStartClick();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        const QString status = f.form.Column(TForm1::colStatus)[0];
        QCOMPARE(f.form.Column(TForm1::colStatus)[1], QString("Completed"));
        QCOMPARE(f.form.MessageTexts(), QStringList({"File conversion process finished: 1 of 2 files converted.\n\n"
                                                     "This file could not be converted:\n" +
                                                     f.home.Path("in/bad.avi") + ": " + status}));
        QCOMPARE(f.form.messages[0].icon, QMessageBox::Warning);
        // A short run ends without a notice.
        QCOMPARE(f.form.notifications, QStringList());
        QCOMPARE(f.form.Control<QTableWidget>("Lvw")->item(0, TForm1::colStatus)->toolTip(), status);
        // The log tells each file's story; the window shows what was written.
        QFile log(f.Out() + "/Tovrela.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        QCOMPARE(text, f.form.RunLogText());
        for (const QString& part : {f.home.Path("in/bad.avi"), "Ended: " + status, f.home.Path("in/good.avi"),
                                    "Converting into " + f.Out() + "/good.mp4", QString("Ended: Completed")})
            QVERIFY2(text.contains(part), qPrintable(part + " in\n" + text));
        f.form.Control<QPushButton>("BtnLog")->click();
        QCOMPARE(f.form.findChild<QPlainTextEdit*>("EdtLog")->toPlainText().trimmed(), text.trimmed());
    }

    void aLogThatCannotBeWrittenIsSaid() {
        Fixture f;
        f.AddClips({{"avi_mpeg4_mp3.avi", "bad.avi"}});
        MakeSoundUndecodable(f.home.Path("in/bad.avi"));
        // Where the log goes, a folder: it cannot be written, as on a full disk.
        QVERIFY(QDir().mkpath(f.Out() + "/Tovrela.log"));
        f.form.BtnStartClick();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        QVERIFY2(f.form.MessageTexts().join('\n').contains("The run's log could not be written to \"" + f.Out() +
                                                            "/Tovrela.log\": Is a directory."),
                 qPrintable(f.form.MessageTexts().join('\n')));
    }

    void aLibrarysLinesReachTheLogOnlyForAFileThatFailed() {
        TRunLog log;
        log.Begin({"/in/good.avi", "/in/bad.avi"});
        for (const size_t file : {size_t(0), size_t(1)}) {
            log.FileLine(file, llError, "[wmv2 @ 0000ABCD] ac-tex damaged at 3 4");
            log.FileLine(file, llInfo, "audio: English");
        }
        log.FileEnded(0, "Completed", false);
        log.FileEnded(1, "Could not decode the sound", true);
        const QString text = QString::fromStdString(log.Text());
        QCOMPARE(text.count("audio: English"), 2);
        QCOMPARE(text.count("Error: [wmv2 @ 0000ABCD] ac-tex damaged"), 1);
        QVERIFY(text.indexOf("ac-tex") > text.indexOf("/in/bad.avi"));
    }

    void aListOfWhichNothingCanBeConvertedEndsAtOnce() {
        Fixture f;
        f.AddClips({{"avi_mpeg4_mp3.avi", "gone.avi"}});
        QFile::remove(f.home.Path("in/gone.avi"));
        f.form.BtnStartClick();
        QVERIFY(!f.form.Running());
        const QString reason = "It could not be opened: No such file or directory.";
        QCOMPARE(f.form.MessageTexts(), QStringList({"This file could not be converted:\n" +
                                                     f.home.Path("in/gone.avi") + ": " + reason}));
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({reason}));
        f.CheckIdle();
    }

    // A file gone since it was added holds nothing up: no box opens while the
    // run goes on, its row says why, and the end lists it.
    void aVanishedFileIsListedAtTheEndWithoutHoldingTheRun() {
        Fixture f;
        f.AddClips({{"avi_mpeg4_mp3.avi", "gone.avi"}, {"avi_mpeg4_mp3.avi", "good.avi"}});
        QFile::remove(f.home.Path("in/gone.avi"));
        f.form.BtnStartClick();
        QVERIFY(f.form.Running());
        QVERIFY(f.form.MessageTexts().isEmpty());
        const QString reason = "It could not be opened: No such file or directory.";
        QCOMPARE(f.form.Column(TForm1::colStatus)[0], reason);
        QTRY_VERIFY_WITH_TIMEOUT(!f.form.Running(), kRunTimeoutMs);
        QCOMPARE(f.form.MessageTexts(), QStringList({"File conversion process finished: 1 of 2 files converted.\n\n"
                                                     "This file could not be converted:\n" +
                                                     f.home.Path("in/gone.avi") + ": " + reason}));
    }

    void convertOnAnEmptyListAsksForFiles() {
        Fixture f;
        QList<bool> states;
        connect(&f.form, &TForm1::runStateChanged, this, [&](bool running) { states << running; });
        f.form.BtnStartClick();
        QVERIFY(!f.form.Running());
        QCOMPARE(f.form.MessageTexts(), QStringList({"Please select files to be converted."}));
        QCOMPARE(f.form.messages[0].caption, QString("Information"));
        QCOMPARE(f.form.messages[0].icon, QMessageBox::Information);
        QVERIFY(states.isEmpty());
        f.CheckIdle();
    }

    void closingDuringARunAsksFirstAndStopsOnYes() {
        Fixture f;
        f.AddClips({{"avi_mpeg4_mp3.avi", "one.avi"}, {"avi_mpeg4_mp3.avi", "two.avi"}});
        f.form.show();
        f.form.BtnStartClick();
        f.form.answerYes = false;
        QVERIFY(!f.form.close());
        QVERIFY(f.form.Running());
        QCOMPARE(f.form.questions, QStringList({"Conversion is running. Stop it and close?"}));
        f.form.answerYes = true;
        QVERIFY(f.form.close());
        QVERIFY(!f.form.Running());
        QCOMPARE(f.form.Column(TForm1::colStatus).last(), QString("Stopped"));
        f.WaitUntilQuiet();
        QVERIFY(f.form.messages.isEmpty());
        QVERIFY(QFile::exists(f.home.SettingsFile()));
    }

    void aStopSignalOrTheSessionEndingClosesWithoutAsking() {
        Fixture f;
        f.AddClips({{"avi_mpeg4_mp3.avi", "one.avi"}, {"avi_mpeg4_mp3.avi", "two.avi"}});
        f.form.BtnStartClick();
        f.form.CloseWithoutAsking();
        QVERIFY(!f.form.isVisible());
        QVERIFY(f.form.questions.isEmpty());
        f.WaitUntilQuiet();
        QVERIFY(f.form.messages.isEmpty());
    }
};

QTEST_MAIN(WindowRunTest)
#include "window_run_test.moc"
