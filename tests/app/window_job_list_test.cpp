// Adding files to the list (rows with duration and type, output names,
// refusals, files and folders dropped onto it), and moving, removing and
// clearing rows, by button and by key.

#include <QCheckBox>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <functional>

#include "WindowTestSupport.h"

namespace {

QStringList FilesIn(const QString& folder) { return QDir(folder).entryList(QDir::Files, QDir::Name); }

void WriteFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray ContentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class WindowJobListTest : public QObject {
    Q_OBJECT

    // Files are not overwritten here.
    struct Fixture : TWindowFixture {
        Fixture() { form.Control<QCheckBox>("ChkOverwrite")->setChecked(false); }
        QTableWidget* List() { return form.Control<QTableWidget>("Lvw"); }
        void Select(int row) { List()->selectRow(row); }
    };

    // Three rows: a, b, c.
    static void AddThree(Fixture& f) {
        QStringList files;
        for (const char* name : {"a.avi", "b.avi", "c.avi"}) {
            CopyClip("avi_mpeg4_mp3.avi", f.home.Path(QString("in/") + name));
            files << f.home.Path(QString("in/") + name);
        }
        f.Add(files);
        QCOMPARE(f.form.Column(TForm1::colInputName), QStringList({"a", "b", "c"}));
    }

private slots:
    void addedFilesShowNameDurationTypeAndOutputName() {
        Fixture f;
        CopyClip("wmv_wmv2_wmav2.wmv", f.home.Path("in/movie.final.wmv"));
        CopyClip("avi_mpeg4_mp3.avi", f.home.Path("in/noextension"));
        f.Add({f.home.Path("in/movie.final.wmv"), f.home.Path("in/noextension")});
        QVERIFY2(f.form.messages.isEmpty(), qPrintable(f.form.MessageTexts().join('\n')));
        QCOMPARE(f.form.Column(TForm1::colInputName), QStringList({"movie.final", "noextension"}));
        QCOMPARE(f.form.Column(TForm1::colDuration), QStringList({"00:00:02", "00:00:02"}));
        // Without an extension the type is the container found in the file.
        QCOMPARE(f.form.Column(TForm1::colType), QStringList({"WMV", "AVI"}));
        QCOMPARE(f.form.Column(TForm1::colOutputName), QStringList({"movie.final", "noextension"}));
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"", ""}));
        QCOMPARE(f.form.Column(TForm1::colPath),
                 QStringList({f.home.Path("in/movie.final.wmv"), f.home.Path("in/noextension")}));
        // Names cut by their columns are whole in the tooltips.
        QCOMPARE(f.List()->item(0, TForm1::colInputName)->toolTip(), f.home.Path("in/movie.final.wmv"));
        QCOMPARE(f.List()->item(0, TForm1::colOutputName)->toolTip(), f.Out() + "/movie.final.mp4");
        QVERIFY(f.form.Control<QLabel>("LblDropHint")->isHidden());
        // Busy while the files are checked, and only then.
        QCOMPARE(f.form.cursorsWhileAdding, QList<Qt::CursorShape>({Qt::WaitCursor, Qt::WaitCursor}));
        QVERIFY(!QGuiApplication::overrideCursor());
        // A picture of each video arrives at the start of its row.
        for (int row : {0, 1}) {
            QTRY_VERIFY(!f.List()->item(row, TForm1::colInputName)->icon().isNull());
            const QSize size = f.List()->item(row, TForm1::colInputName)->icon().availableSizes().value(0);
            // One box for every shape, so that the names start in one column.
            QCOMPARE(size, QSize(40, 30));
        }
        // The checks leave neither tasks nor files behind.
        QCOMPARE(f.form.Converter().TaskCount(), size_t(0));
        QCOMPARE(FilesIn(f.Out()), QStringList());
    }

    void aRefusedFileGetsItsMessageAndNoRow() {
        Fixture f;
        CopyClip("avi_mpeg4_mp3.avi", f.home.Path("in/first.avi"));
        WriteFile(f.home.Path("in/broken.avi"), QByteArray("this is no video at all\n").repeated(40));
        CopyClip("mov_mpeg4_aac.mov", f.home.Path("in/third.mov"));
        WriteFile(f.home.Path("in/empty.avi"), "");
        f.Add({f.home.Path("in/first.avi"), f.home.Path("in/broken.avi"), f.home.Path("in/third.mov"),
               f.home.Path("in/empty.avi")});
        QCOMPARE(f.form.Column(TForm1::colInputName), QStringList({"first", "third"}));
        // Every refusal of one add in one message.
        QCOMPARE(f.form.MessageTexts(),
                 QStringList({"Convertion of file \"" + f.home.Path("in/broken.avi") +
                              "\" is not supported. It is not a video or sound file this program can read.\n"
                              "Convertion of file \"" +
                              f.home.Path("in/empty.avi") + "\" is not supported. It is empty (0 bytes)."}));
        QCOMPARE(f.form.messages[0].caption, QString("Error"));
        QCOMPARE(f.form.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(f.form.Converter().TaskCount(), size_t(0));
        QCOMPARE(FilesIn(f.Out()), QStringList());
    }

    void anOutputThatCannotBeMadeRefusesTheFile() {
        Fixture f;
        // A file where the output folder should be.
        WriteFile(f.home.Path("blocked"), "x");
        f.form.folderToChoose = f.home.Path("blocked");
        f.form.BtnChangeOutputFolderClick();
        CopyClip("avi_mpeg4_mp3.avi", f.home.Path("in/clip.avi"));
        f.Add({f.home.Path("in/clip.avi")});
        QCOMPARE(f.List()->rowCount(), 0);
        QCOMPARE(f.form.messages.size(), 1);
        QVERIFY2(f.form.messages[0].text.startsWith("Cannot convert: "), qPrintable(f.form.messages[0].text));
        QCOMPARE(f.form.Converter().TaskCount(), size_t(0));
    }

    void existingOutputsGetANumberedNameUnlessOverwriting() {
        Fixture f;
        WriteFile(f.Out() + "/clip.mp4", "first");
        WriteFile(f.Out() + "/clip(1).mp4", "second");
        CopyClip("avi_mpeg4_mp3.avi", f.home.Path("in/clip.avi"));
        f.Add({f.home.Path("in/clip.avi")});
        f.form.Control<QCheckBox>("ChkOverwrite")->setChecked(true);
        f.Add({f.home.Path("in/clip.avi")});
        QCOMPARE(f.form.Column(TForm1::colOutputName), QStringList({"clip(2)", "clip"}));
        // Adding never touches a file already there.
        QCOMPARE(ContentOf(f.Out() + "/clip.mp4"), QByteArray("first"));
        QCOMPARE(ContentOf(f.Out() + "/clip(1).mp4"), QByteArray("second"));
        QCOMPARE(FilesIn(f.Out()), QStringList({"clip(1).mp4", "clip.mp4"}));
    }

    void twoFilesOfOneNameInOneAddGetDifferentOutputs() {
        Fixture f;
        CopyClip("avi_mpeg4_mp3.avi", f.home.Path("a/clip.avi"));
        CopyClip("wmv_wmv2_wmav2.wmv", f.home.Path("b/clip.wmv"));
        f.Add({f.home.Path("a/clip.avi"), f.home.Path("b/clip.wmv")});
        QCOMPARE(f.form.Column(TForm1::colOutputName), QStringList({"clip", "clip(1)"}));
        QCOMPARE(f.form.Column(TForm1::colType), QStringList({"AVI", "WMV"}));
        QCOMPARE(FilesIn(f.Out()), QStringList());
    }

    void cancellingTheDialogAddsNothing() {
        Fixture f;
        f.Add({});
        QCOMPARE(f.List()->rowCount(), 0);
        QVERIFY(f.form.messages.isEmpty());
    }

    void movingStopsAtTheEndsAndKeepsTheStatus() {
        Fixture f;
        AddThree(f);
        f.List()->item(1, TForm1::colStatus)->setText("Completed");
        f.Select(0);
        f.form.BtnMoveUpClick();
        f.Select(2);
        f.form.BtnMoveDownClick();
        QCOMPARE(f.form.Column(TForm1::colInputName), QStringList({"a", "b", "c"}));
        f.Select(1);
        f.form.BtnMoveUpClick();
        QCOMPARE(f.form.Column(TForm1::colInputName), QStringList({"b", "a", "c"}));
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"Completed", "", ""}));
        QCOMPARE(f.List()->currentRow(), 0);
        f.form.BtnMoveDownClick();
        f.form.BtnMoveDownClick();
        QCOMPARE(f.form.Column(TForm1::colInputName), QStringList({"a", "c", "b"}));
        QCOMPARE(f.form.Column(TForm1::colPath).last(), f.home.Path("in/b.avi"));
        QCOMPARE(f.form.Column(TForm1::colStatus), QStringList({"", "", "Completed"}));
        QCOMPARE(f.List()->selectedRanges().first().topRow(), 2);
    }

    void movingWithoutASelectionChangesNothing() {
        Fixture f;
        AddThree(f);
        f.List()->clearSelection();
        f.form.BtnMoveDownClick();
        f.form.BtnMoveUpClick();
        f.form.BtnRemoveClick();
        QCOMPARE(f.form.Column(TForm1::colInputName), QStringList({"a", "b", "c"}));
    }

    void tabLeavesTheListAndDeleteRemovesTheSelectedRowOnly() {
        Fixture f;
        AddThree(f);
        f.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.form));
        f.List()->setFocus();
        f.Select(1);
        QTest::keyClick(f.List(), Qt::Key_Delete);
        QTest::keyClick(f.List(), Qt::Key_Delete);
        QCOMPARE(f.form.Column(TForm1::colInputName), QStringList({"a", "c"}));
        QVERIFY(f.List()->selectedRanges().isEmpty());
        QTest::keyClick(f.List(), Qt::Key_Tab);
        QVERIFY(!f.List()->hasFocus());
    }

    void droppedFilesAndFoldersAreAddedAsAFileManagerListsThem() {
        Fixture f;
        CopyClip("wmv_wmv2_wmav2.wmv", f.home.Path("in/single.wmv"));
        for (const char* name : {"clip10.avi", "clip9.avi", "Clip2.avi", ".hidden.avi", "sub/inner.avi"})
            CopyClip("avi_mpeg4_mp3.avi", f.home.Path(QString("in/folder/") + name));
        WriteFile(f.home.Path("in/folder/broken.avi"), "no video");
        WriteFile(f.home.Path("in/folder/sub/empty.avi"), "");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(f.home.Path("in/single.wmv")), QUrl::fromLocalFile(f.home.Path("in/folder"))});
        QWidget* target = f.List()->viewport();
        QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        QTRY_COMPARE(f.form.Column(TForm1::colInputName), QStringList({"single", "inner", "Clip2", "clip9", "clip10"}));
        // The files that cannot be converted are listed in one message.
        QCOMPARE(f.form.MessageTexts().size(), 1);
        for (const char* name : {"in/folder/sub/empty.avi", "in/folder/broken.avi"})
            QVERIFY2(f.form.MessageTexts()[0].contains("\"" + f.home.Path(name) + "\""), name);
        QCOMPARE(f.form.Converter().TaskCount(), size_t(0));
    }

    // The desktop's keys do what their buttons do.
    void keysAddConvertHelpAndQuit() {
        struct Case {
            int key;
            Qt::KeyboardModifiers modifiers;
            std::function<bool(TTestForm&)> done;
        };
        const Case cases[] = {
            {Qt::Key_O, Qt::ControlModifier, [](TTestForm& form) { return form.MessageTexts().size() == 1; }},
            {Qt::Key_Return, Qt::ControlModifier,
             [](TTestForm& form) { return form.MessageTexts() == QStringList({"Please select files to be converted."}); }},
            {Qt::Key_F1, Qt::NoModifier, [](TTestForm& form) { return form.openedUrls.size() == 1; }},
            {Qt::Key_Q, Qt::ControlModifier, [](TTestForm& form) { return form.isHidden(); }},
        };
        for (const Case& key : cases) {
            Fixture f;
            f.form.filesToChoose = {f.home.Path("in/missing.avi")};
            f.form.show();
            QApplication::setActiveWindow(&f.form);
            QVERIFY(QTest::qWaitForWindowActive(&f.form));
            QTest::keyClick(&f.form, Qt::Key(key.key), key.modifiers);
            QVERIFY2(key.done(f.form), qPrintable(QKeySequence(key.key | key.modifiers.toInt()).toString()));
        }
    }

    // A folder's names sort as the person's language does, numbers by value.
    void aDroppedFolderSortsAsTheLanguageDoes() {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Fixture f;
        for (const char* name : {"Zebra.avi", "\xc3\x96lfeld.avi", "apfel10.avi", "apfel9.avi"})
            CopyClip("avi_mpeg4_mp3.avi", f.home.Path(QString("in/folder/") + QString::fromUtf8(name)));
        f.form.AddDropped({f.home.Path("in/folder")});
        QLocale::setDefault(before);
        QCOMPARE(f.form.Column(TForm1::colInputName),
                 QStringList({"apfel9", "apfel10", QString::fromUtf8("\xc3\x96lfeld"), "Zebra"}));
    }

    void removeTakesTheSelectedRowAndClearEmptiesTheList() {
        Fixture f;
        AddThree(f);
        f.Select(1);
        f.form.BtnRemoveClick();
        QCOMPARE(f.form.Column(TForm1::colInputName), QStringList({"a", "c"}));
        f.form.BtnClearClick();
        QCOMPARE(f.List()->rowCount(), 0);
        QVERIFY(!f.form.Control<QLabel>("LblDropHint")->isHidden());
        QVERIFY(QFile::exists(f.home.Path("in/b.avi")));
    }
};

QTEST_MAIN(WindowJobListTest)
#include "window_job_list_test.moc"
