// The main window's controls as a person first meets them, the profiles, the
// enabling rules' starting point, the error handler, the open dialog's
// filters, the help page and the About window.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>

#include "Application.h"
#include "FFMpegException.h"
#include "FileDialogFilter.h"
#include "FrmMainShared.h"
#include "HelpPage.h"
#include "UnitFrmAbout.h"
#include "WindowTestSupport.h"

namespace {

QStringList Items(QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

bool Matches(const QString& filter, const QString& fileName) {
    const QString patterns = filter.section('(', -1).chopped(1);
    for (const QString& pattern : patterns.split(' ', Qt::SkipEmptyParts))
        if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern)).match(fileName).hasMatch())
            return true;
    return false;
}

}  // namespace

class WindowControlsTest : public QObject {
    Q_OBJECT
private slots:
    void windowHasItsSizeAndCaption() {
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        QCOMPARE(form.windowTitle(), QString("Free Tovrela 3.3"));
        QCOMPARE(form.size(), TForm1::kDesignSize);
        QVERIFY(form.maximumWidth() > 2000 && form.maximumHeight() > 2000);
    }

    void theListTakesTheRoomAndEveryControlStaysInside_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("as designed") << TForm1::kDesignSize;
        QTest::newRow("larger") << QSize(1100, 760);
        QTest::newRow("wider only") << QSize(900, TForm1::kDesignSize.height());
    }
    void theListTakesTheRoomAndEveryControlStaysInside() {
        QFETCH(QSize, size);
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        form.show();
        auto* list = form.Control<QTableWidget>("Lvw");
        auto* start = form.Control<QPushButton>("BtnStart");
        auto* settings = form.Control<QScrollArea>("ScrSettings");
        const QSize designList = list->size();
        const int designSettings = settings->height();
        const int startFromRight = form.width() - start->x();
        form.resize(size);
        QCOMPARE(form.size(), size);
        // The settings take the height they need, the list all the rest.
        QCOMPARE(list->width(), designList.width() + size.width() - TForm1::kDesignSize.width());
        QCOMPARE(list->height() + settings->height(),
                 designList.height() + designSettings + size.height() - TForm1::kDesignSize.height());
        QVERIFY(settings->height() <= settings->widget()->sizeHint().height());
        // Convert stays at the right edge, beside the settings' top.
        QCOMPARE(form.width() - start->x(), startFromRight);
        QVERIFY(std::abs(start->y() - settings->mapTo(&form, QPoint(0, 0)).y()) < 12);
        for (QWidget* control : form.findChildren<QWidget*>()) {
            if (control->isHidden() || control->isWindow()) continue;
            // A setting scrolled out of sight is inside the settings' area.
            if (settings->widget()->isAncestorOf(control)) continue;
            const QRect placed(control->mapTo(&form, QPoint(0, 0)), control->size());
            QVERIFY2(form.rect().contains(placed), qPrintable(control->objectName()));
        }
        QTRY_VERIFY(!settings->horizontalScrollBar()->isVisible());
        const QList<QWidget*> controls = form.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget* control : controls)
            for (QWidget* other : controls)
                if (other != control && !other->isWindow() && !control->isWindow())
                    QVERIFY2(!control->geometry().intersects(other->geometry()),
                             qPrintable(control->objectName() + " overlaps " + other->objectName()));
    }

    void sevenRowsShowWholeAtTheFirstSizeAndGrowWithTheWindow() {
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        form.show();
        auto* list = form.Control<QTableWidget>("Lvw");
        list->setRowCount(20);
        const auto wholeRows = [list] {
            int rows = 0;
            while (list->rowViewportPosition(rows) + list->rowHeight(rows) <= list->viewport()->height()) ++rows;
            return rows;
        };
        QVERIFY(wholeRows() >= TForm1::kRowsAtDesignSize);
        const int designRow = list->rowHeight(0);
        form.resize(TForm1::kDesignSize + QSize(0, 300));
        QTRY_VERIFY(list->rowHeight(0) > designRow);
        QCOMPARE(list->iconSize().height(), list->rowHeight(0) - 2);
        QVERIFY(wholeRows() >= TForm1::kRowsAtDesignSize);
    }

    void theWindowFitsTheRoomOfASmallScreen_data() {
        QTest::addColumn<QSize>("room");
        // 1280x900 at 200 %, a panel taking some of it.
        QTest::newRow("scaled twice") << QSize(640, 426);
        QTest::newRow("roomy") << QSize(1600, 1000);
    }
    void theWindowFitsTheRoomOfASmallScreen() {
        QFETCH(QSize, room);
        TTestHome home;
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        form.room = room;
        QVERIFY(form.FormCreate());
        const QSize inside = room - QSize(0, form.style()->pixelMetric(QStyle::PM_TitleBarHeight));
        QVERIFY(form.minimumWidth() <= inside.width() && form.minimumHeight() <= inside.height());
        QCOMPARE(form.size(), TForm1::kDesignSize.boundedTo(inside));
        form.close();
    }

    void iPodsOfOneNameAreToldApartByModelAndMount() {
        std::vector<TIpod> ipods(3);
        const char* const names[] = {"My iPod", "My iPod", "Other"};
        for (int i = 0; i < 3; ++i) {
            ipods[i].Mount = std::string("/media/") + char('a' + i);
            ipods[i].Name = names[i];
            ipods[i].Support = i < 2 ? TIpodSupport::Supported : TIpodSupport::Refused;
        }
        ipods[0].Model = "Classic (Black)";
        QCOMPARE(FrmMain::IpodChoiceLabels(ipods),
                 QStringList({"My iPod (Classic (Black), /media/a)", "My iPod (/media/b)", "Other (cannot receive videos)"}));
    }

    void listHasItsColumns() {
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        auto* list = form.Control<QTableWidget>("Lvw");
        QStringList headers;
        for (int column = 0; column < list->columnCount(); ++column)
            headers << list->horizontalHeaderItem(column)->text();
        QCOMPARE(headers, QStringList({"Input Filename", "Duration", "Type", "Output Filename", "Status", "Path"}));
        QCOMPARE(list->columnWidth(1), 80);
        QCOMPARE(list->columnWidth(2), 80);
        QVERIFY(list->isColumnHidden(TForm1::colPath));
        QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(list->showGrid());
    }

    void buttonsLabelsAndBoxesHaveTheirCaptions() {
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        const std::pair<const char*, const char*> buttons[] = {
            {"BtnAdd", "&Add"},       {"BtnRemove", "&Remove"},   {"BtnClear", "C&lear"},
            {"BtnMoveUp", "Move &Up"}, {"BtnMoveDown", "Move &Down"}, {"BtnChangeOutputFolder", "..."},
            {"BtnStart", "&Convert"}, {"BtnAbout", "A&bout"},     {"BtnHelp", "&Help"},
            {"BtnLog", "L&og"},
        };
        for (const auto& [name, caption] : buttons) QCOMPARE(form.Control<QPushButton>(name)->text(), QString(caption));
        QCOMPARE(form.Control<QLabel>("Label1")->text(), QString("Output Folder: "));
        QVERIFY(form.Control<QLineEdit>("EdtOutputFolder")->isReadOnly());
        QCOMPARE(form.Control<QGroupBox>("GBOutput")->title(), QString("Output Settings"));
        QCOMPARE(form.Control<QGroupBox>("GBOther")->title(), QString("Other Settings"));
        QCOMPARE(form.Control<QCheckBox>("ChkOverwrite")->text(), QString("Overwrite existing files"));
        QCOMPARE(form.Control<QCheckBox>("ChkShutdown")->text(), QString("Shut down computer when completed"));
        // Before the settings are read the boxes show what a first start shows.
        QVERIFY(form.Control<QCheckBox>("ChkOverwrite")->isChecked());
        QVERIFY(!form.Control<QCheckBox>("ChkShutdown")->isChecked());
        QVERIFY(form.Control<QLabel>("LblProgress")->isHidden());
        // The settings' own controls sit in their group box.
        auto* output = form.Control<QGroupBox>("GBOutput");
        for (const char* name : {"CboProfiles", "CboResolution", "CboChannels", "SpinVideo", "SpinAudio",
                                 "CboFrameRate", "CboAudioSampleRate"})
            QCOMPARE(form.Control<QWidget>(name)->parentWidget(), output);
    }

    void listsAndSpinEditsHaveTheirItemsRangesAndDesignValues() {
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        auto* profiles = form.Control<QComboBox>("CboProfiles");
        QCOMPARE(profiles->count(), 8);
        QCOMPARE(profiles->itemText(1), QString("Lower Quality,      Video:256kbps, Audio:48kbps, 1 channels, Mono  "));
        QCOMPARE(profiles->currentIndex(), 3);
        QCOMPARE(Items(form.Control<QComboBox>("CboResolution")),
                 QStringList({"160x120", "320x180", "320x240", "480x480", "640x480", "640x272", "640x360", "720x306",
                              "720x320"}));
        QCOMPARE(form.Control<QComboBox>("CboResolution")->currentText(), QString("320x240"));
        QCOMPARE(Items(form.Control<QComboBox>("CboChannels")), QStringList({"1 Channel, Mono", "2 Channels, Stereo"}));
        QCOMPARE(form.Control<QComboBox>("CboChannels")->currentIndex(), 1);
        QCOMPARE(Items(form.Control<QComboBox>("CboFrameRate")),
                 QStringList({"Auto", "8", "10", "12", "15", "20", "23.97", "24", "25", "29.97", "30", "60"}));
        QCOMPARE(form.Control<QComboBox>("CboFrameRate")->currentText(), QString("30"));
        QCOMPARE(Items(form.Control<QComboBox>("CboAudioSampleRate")),
                 QStringList({"8000", "16000", "22050", "32000", "44100", "48000"}));
        QCOMPARE(form.Control<QComboBox>("CboAudioSampleRate")->currentText(), QString("44100"));
        // The spin edits take what the command line takes, no more, no less.
        for (const auto& [name, spinName, value] : {std::tuple{"video-bitrate", "SpinVideo", 512},
                                                    std::tuple{"audio-bitrate", "SpinAudio", 80}}) {
            auto* spin = form.Control<QSpinBox>(spinName);
            const TSettingRow& row = SettingRow(name);
            QCOMPARE(std::make_tuple(spin->singleStep(), spin->value()), std::make_tuple(1, value));
            for (const int inside : {spin->minimum(), spin->maximum()})
                QCOMPARE(SettingValueProblem(row, std::to_string(inside)), std::string());
            for (const int outside : {spin->minimum() - 1, spin->maximum() + 1})
                QVERIFY(!SettingValueProblem(row, std::to_string(outside)).empty());
        }
    }

    void pickingAProfileSetsBitRatesAndChannelsOnly() {
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        auto* profiles = form.Control<QComboBox>("CboProfiles");
        auto* resolution = form.Control<QComboBox>("CboResolution");
        resolution->setCurrentIndex(6);
        profiles->setCurrentIndex(7);
        emit profiles->activated(7);
        QCOMPARE(form.Control<QSpinBox>("SpinVideo")->value(), 1500);
        QCOMPARE(form.Control<QSpinBox>("SpinAudio")->value(), 160);
        QCOMPARE(form.Control<QComboBox>("CboChannels")->currentText(), QString("2 Channels, Stereo"));
        profiles->setCurrentIndex(1);
        emit profiles->activated(1);
        QCOMPARE(form.Control<QSpinBox>("SpinVideo")->value(), 256);
        QCOMPARE(form.Control<QSpinBox>("SpinAudio")->value(), 48);
        QCOMPARE(form.Control<QComboBox>("CboChannels")->currentText(), QString("1 Channel, Mono"));
        QCOMPARE(resolution->currentIndex(), 6);
    }

    void settingsControlsGiveTheConversionSettings() {
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        form.Control<QComboBox>("CboChannels")->setCurrentIndex(0);
        form.Control<QSpinBox>("SpinVideo")->setValue(700);
        form.Control<QSpinBox>("SpinAudio")->setValue(96);
        form.Control<QComboBox>("CboFrameRate")->setCurrentText("29.97");
        form.Control<QComboBox>("CboAudioSampleRate")->setCurrentText("22050");
        form.Control<QCheckBox>("ChkOverwrite")->setChecked(true);
        const TConversionSettings settings = form.ConversionSettings();
        QCOMPARE(settings.Channels, 1);
        QCOMPARE(settings.VideoBitrateKbps, 700);
        QCOMPARE(settings.AudioBitrateKbps, 96);
        QCOMPARE(settings.FrameSize, std::string("320x240"));
        QCOMPARE(settings.FrameRate, std::string("29.97"));
        QCOMPARE(settings.AudioSampleRate, 22050);
        QVERIFY(settings.Overwrite);
    }

    void errorMessagesEndInAFullStopWhereTheyNeedOne() {
        QCOMPARE(ApplicationErrorText("Could not open file"), std::string("Could not open file."));
        QCOMPARE(ApplicationErrorText("Value 12"), std::string("Value 12."));
        QCOMPARE(ApplicationErrorText("Really?"), std::string("Really?."));
        QCOMPARE(ApplicationErrorText("Stopped!"), std::string("Stopped!"));
        QCOMPARE(ApplicationErrorText("Done."), std::string("Done."));
        QCOMPARE(ApplicationErrorText("(see above)"), std::string("(see above)"));
        QCOMPARE(ApplicationErrorText(""), std::string(""));
    }

    void engineErrorsAreWarningsAndOthersErrors() {
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        form.ApplicationException(FFMpegException("Incorrect frame rate"));
        form.ApplicationException(std::runtime_error("Unable to write to /x/Options.ini"));
        QCOMPARE(form.messages.size(), 2);
        QCOMPARE(form.messages[0].text, QString("Incorrect frame rate."));
        QCOMPARE(form.messages[0].caption, QString("Free Tovrela"));
        QCOMPARE(form.messages[0].icon, QMessageBox::Warning);
        QCOMPARE(form.messages[1].text, QString("Unable to write to /x/Options.ini."));
        QCOMPARE(form.messages[1].icon, QMessageBox::Critical);
    }

    void openDialogShowsTheLabelsAndMatchesEitherCase() {
        const QStringList filters = DialogNameFilters(TForm1::kOpenDialogFilter);
        QCOMPARE(filters.size(), 13);
        QVERIFY(filters[0].startsWith("Videos ("));
        QVERIFY(filters[1].startsWith("All supported Media Format ("));
        QVERIFY(filters[3].startsWith("DivX(*.divx;*.div) ("));
        for (const char* name : {"clip.avi", "CLIP.AVI", "movie.DivX", "a.Rmvb", "vcd.DAT", "x.swf"})
            QVERIFY2(Matches(filters[1], name), name);
        for (const char* name : {"clip.AVI", "a.mp4", "b.M4V", "c.mkv", "d.webm", "e.ts", "f.3gp", "g.flv", "h.ogv"})
            QVERIFY2(Matches(filters[0], name), name);
        QVERIFY(!Matches(filters[0], "notes.txt"));
        QVERIFY(!Matches(filters[2], "clip.avi.txt"));
        QVERIFY(Matches(filters[3], "OLD.DIV"));
        QVERIFY(filters[12].startsWith("All files (*) ("));
        QVERIFY(Matches(filters[12], "anything.txt"));
        QVERIFY(Matches(filters[12], "README"));
    }

    void helpPageIsFoundBesideTheProgramOrInTheDataFolder() {
        QTemporaryDir program, data;
        QCOMPARE(FindHelpPage(program.path(), data.path()), QString());
        QDir().mkpath(data.filePath("help"));
        QFile(data.filePath("help/index.html")).open(QIODevice::WriteOnly);
        QCOMPARE(FindHelpPage(program.path(), data.path()), data.filePath("help/index.html"));
        QDir().mkpath(program.filePath("help"));
        QFile(program.filePath("help/index.html")).open(QIODevice::WriteOnly);
        QCOMPARE(FindHelpPage(program.path(), data.path()), program.filePath("help/index.html"));
    }

    void aPageOrLinkTheDesktopCannotOpenIsNamedForOpeningByHand() {
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        form.desktopOpensUrls = false;
        form.BtnHelpClick();
        const QString page = QCoreApplication::applicationDirPath() + "/help/index.html";
        QCOMPARE(form.openedUrls, QList<QUrl>({QUrl::fromLocalFile(page)}));
        TFrmAbout about([&](const QUrl& url) { form.OpenLink(url); });
        QTest::mouseClick(about.findChild<QLabel*>("LblWebsite"), Qt::LeftButton);
        QTest::mouseClick(about.findChild<QLabel*>("LblEmail"), Qt::LeftButton);
        const QString targets[] = {page, TFrmAbout::kWebsite, QString("mailto:") + TFrmAbout::kSupportEmail};
        QCOMPARE(form.messages.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(form.messages[i].text,
                     "The desktop has no program to open \"" + targets[i] + "\". Please open it by hand.");
            QCOMPARE(form.messages[i].caption, QString("Free Tovrela"));
        }
    }

    // An opener that starts but finds no program for the link is said too.
    void anOpenerThatFindsNoProgramIsSaid() {
        QTemporaryDir bin;
        QFile opener(bin.filePath("xdg-open"));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write("#!/bin/sh\nexit 3\n");
        opener.close();
        opener.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ":" + path);
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        form.realOpener = true;
        form.OpenLink(QUrl("https://example.invalid/page"));
        QTRY_COMPARE(form.messages.size(), 1);
        qputenv("PATH", path);
        QCOMPARE(form.messages[0].text,
                 QString("The desktop has no program to open \"https://example.invalid/page\". Please open it by hand."));
    }

    void columnsFillTheListWithOrWithoutAVerticalScrollBar() {
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        form.show();
        auto* list = form.Control<QTableWidget>("Lvw");
        for (const int rows : {2, 30}) {
            list->setRowCount(rows);
            QTRY_COMPARE(list->verticalScrollBar()->isVisible(), rows > 2);
            QVERIFY(!list->horizontalScrollBar()->isVisible());
            int total = 0;
            for (int column = 0; column < TForm1::colCount; ++column)
                total += list->isColumnHidden(column) ? 0 : list->columnWidth(column);
            QCOMPARE(total, list->viewport()->width());
            QVERIFY(list->columnWidth(TForm1::colStatus) >= 93);
        }
        // A larger window gives the status the room to be read.
        const int before = list->columnWidth(TForm1::colStatus);
        form.resize(1400, 800);
        QTRY_VERIFY(list->columnWidth(TForm1::colStatus) > before + 300);
    }

    void aboutWindowNamesTheProductAndOpensItsLinks() {
        QList<QUrl> opened;
        TFrmAbout about([&](const QUrl& url) { opened << url; });
        QCOMPARE(about.windowTitle(), QString("About Tovrela"));
        QCOMPARE(about.size(), QSize(276, 230));
        QCOMPARE(about.findChild<QLabel*>("Label1")->text(), QString("Free Tovrela V3.3"));
        QVERIFY(!about.findChild<QLabel*>("Image1")->pixmap().isNull());
        QCOMPARE(about.findChild<QLabel*>("Image1")->size(), QSize(32, 32));
        QVERIFY(!about.findChild<QLabel*>("Label2")->text().isEmpty());
        QVERIFY(!about.findChild<QLabel*>("Label3")->text().isEmpty());
        auto* website = about.findChild<QLabel*>("LblWebsite");
        auto* email = about.findChild<QLabel*>("LblEmail");
        QCOMPARE(website->text(), QString("Website: ") + TFrmAbout::kWebsite);
        QCOMPARE(email->text(), QString("Support Email: ") + TFrmAbout::kSupportEmail);
        QCOMPARE(website->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(website, Qt::LeftButton);
        QTest::mouseClick(email, Qt::LeftButton);
        QCOMPARE(opened, QList<QUrl>({QUrl(TFrmAbout::kWebsite), QUrl(QString("mailto:") + TFrmAbout::kSupportEmail)}));
        about.show();
        QTest::mouseClick(about.findChild<QPushButton*>("BtnOk"), Qt::LeftButton);
        QCOMPARE(about.result(), int(QDialog::Accepted));
        QVERIFY(!about.isVisible());
    }
};

QTEST_MAIN(WindowControlsTest)
#include "window_controls_test.moc"
