// The settings file: what the window shows without one, what it reads from
// one (hexadecimal numbers, the exact "True", stored values next to a
// profile), what it writes back when it closes, and a write that fails.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>

#include "IniFile.h"
#include "TextConversion.h"
#include "WindowTestSupport.h"

class WindowSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void withoutASettingsFileEveryControlHasItsDefault() {
        TTestHome home;
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        QVERIFY(form.FormCreate());
        QCOMPARE(form.Control<QLineEdit>("EdtOutputFolder")->text(), home.Path("My iPod Files") + "/");
        QCOMPARE(form.Control<QComboBox>("CboProfiles")->currentIndex(), 3);
        QCOMPARE(form.Control<QComboBox>("CboResolution")->currentText(), QString("320x240"));
        QCOMPARE(form.Control<QComboBox>("CboChannels")->currentText(), QString("2 Channels, Stereo"));
        QCOMPARE(form.Control<QSpinBox>("SpinVideo")->value(), 512);
        QCOMPARE(form.Control<QSpinBox>("SpinAudio")->value(), 80);
        QCOMPARE(form.Control<QComboBox>("CboFrameRate")->currentText(), QString("30"));
        QCOMPARE(form.Control<QComboBox>("CboAudioSampleRate")->currentText(), QString("44100"));
        QVERIFY(form.Control<QCheckBox>("ChkOverwrite")->isChecked());
        QVERIFY(!form.Control<QCheckBox>("ChkShutdown")->isChecked());
        QVERIFY(form.Control<QCheckBox>("ChkKeepShape")->isChecked());
        QVERIFY(form.messages.isEmpty());
        form.close();
    }

    void storedValuesAreReadWithTheirRules() {
        TTestHome home;
        home.WriteSettings("; written by hand\n"
                           "[Options]\n"
                           "OutputPath=/srv/videos\n"
                           "Profile=0\n"
                           "Resolution=0x5\n"
                           "Channels=$0\n"
                           "VideoQuality=900\n"
                           "AudioQuality=128\n"
                           "VideoFrameRate=0X3\n"
                           "Overwrite=true\n"
                           "ShutdownAfterCompleted=True\n"
                           "KeepShape=true\n");
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        QVERIFY(form.FormCreate());
        QCOMPARE(form.Control<QLineEdit>("EdtOutputFolder")->text(), QString("/srv/videos/"));
        // The profile is only selected: the stored bit rates stay.
        QCOMPARE(form.Control<QComboBox>("CboProfiles")->currentIndex(), 0);
        QCOMPARE(form.Control<QSpinBox>("SpinVideo")->value(), 900);
        QCOMPARE(form.Control<QSpinBox>("SpinAudio")->value(), 128);
        QCOMPARE(form.Control<QComboBox>("CboResolution")->currentText(), QString("640x360"));
        QCOMPARE(form.Control<QComboBox>("CboChannels")->currentText(), QString("1 Channel, Mono"));
        QCOMPARE(form.Control<QComboBox>("CboFrameRate")->currentText(), QString("12"));
        // A missing sample rate still leaves a rate to convert with.
        QCOMPARE(form.Control<QComboBox>("CboAudioSampleRate")->currentText(), QString("44100"));
        QVERIFY(!form.Control<QCheckBox>("ChkOverwrite")->isChecked());
        QVERIFY(form.Control<QCheckBox>("ChkShutdown")->isChecked());
        QVERIFY(!form.Control<QCheckBox>("ChkKeepShape")->isChecked());
        form.close();
    }

    void unreadableValuesFallBackToTheirDefaults() {
        TTestHome home;
        home.WriteSettings("[Options]\nResolution=two\nProfile=0x\nVideoQuality=fast\nAudioSampleRate=13\n"
                           "VideoFrameRate=99999999999\n");
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        QVERIFY(form.FormCreate());
        QCOMPARE(form.Control<QComboBox>("CboResolution")->currentIndex(), 2);
        QCOMPARE(form.Control<QComboBox>("CboProfiles")->currentIndex(), 3);
        QCOMPARE(form.Control<QSpinBox>("SpinVideo")->value(), 512);
        QCOMPARE(form.Control<QComboBox>("CboFrameRate")->currentText(), QString("30"));
        QCOMPARE(form.Control<QComboBox>("CboAudioSampleRate")->currentText(), QString("44100"));
        form.close();
    }

    void anIndexPastItsListSelectsWhatAMissingKeySelects_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("selected");
        QTest::newRow("size") << "Resolution=-1" << "CboResolution" << 2;
        QTest::newRow("frame rate") << "VideoFrameRate=99" << "CboFrameRate" << 10;
        QTest::newRow("channels") << "Channels=7" << "CboChannels" << 1;
        QTest::newRow("profile") << "Profile=99" << "CboProfiles" << 3;
        QTest::newRow("sample rate") << "AudioSampleRate=6" << "CboAudioSampleRate" << 4;
        QTest::newRow("device") << "Device=4" << "CboDevice" << 0;
        QTest::newRow("device by an unknown name") << "Device=zune" << "CboDevice" << 0;
    }
    void anIndexPastItsListSelectsWhatAMissingKeySelects() {
        QFETCH(QString, line);
        QFETCH(QString, list);
        QFETCH(int, selected);
        TTestHome home;
        home.WriteSettings("[Options]\n" + line + "\n");
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        QVERIFY(form.FormCreate());
        QCOMPARE(form.Control<QComboBox>(qPrintable(list))->currentIndex(), selected);
        QCOMPARE(form.ConversionSettings().FrameSize, std::string("320x240"));
        form.close();
    }

    void aDeviceStoredByItsOldNumberKeepsItsMeaning_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("device");
        QTest::newRow("by name") << "Device=rockbox" << "rockbox";
        QTest::newRow("by old number") << "Device=2" << "iphone";
        QTest::newRow("by old hexadecimal number") << "Device=$1" << "ipod-h264";
    }
    void aDeviceStoredByItsOldNumberKeepsItsMeaning() {
        QFETCH(QString, line);
        QFETCH(QString, device);
        TTestHome home;
        home.WriteSettings("[Options]\n" + line + "\n");
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        QVERIFY(form.FormCreate());
        QCOMPARE(QString(DeviceAt(form.ConversionSettings().Device).ShortName), device);
        form.close();
    }

    void anUnusableStoredSizeGivesTheDesignSize_data() {
        QTest::addColumn<QString>("lines");
        QTest::newRow("too small for the controls") << "WindowWidth=200\nWindowHeight=100";
        QTest::newRow("larger than the screen") << "WindowWidth=90000\nWindowHeight=700";
        QTest::newRow("not a number") << "WindowWidth=wide\nWindowHeight=600";
    }
    void anUnusableStoredSizeGivesTheDesignSize() {
        QFETCH(QString, lines);
        TTestHome home;
        home.WriteSettings("[Options]\n" + lines + "\n");
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        QVERIFY(form.FormCreate());
        QCOMPARE(form.size(), TForm1::kDesignSize);
        form.close();
    }

    void closingWritesTheKeysAndTheNextWindowReadsThemBack() {
        TTestHome home;
        home.WriteSettings("[Recent]\nLast=/tmp/a.avi\n");
        {
            TFakeShutdown shutdown;
            TTestForm form(shutdown);
            QVERIFY(form.FormCreate());
            form.folderToChoose = home.Path("out");
            form.BtnChangeOutputFolderClick();
            form.Control<QComboBox>("CboProfiles")->setCurrentIndex(7);
            form.Control<QComboBox>("CboResolution")->setCurrentText("640x480");
            form.Control<QComboBox>("CboChannels")->setCurrentIndex(0);
            form.Control<QSpinBox>("SpinVideo")->setValue(1000);
            form.Control<QSpinBox>("SpinAudio")->setValue(40);
            form.Control<QComboBox>("CboFrameRate")->setCurrentIndex(0);
            form.Control<QComboBox>("CboAudioSampleRate")->setCurrentIndex(5);
            form.Control<QCheckBox>("ChkOverwrite")->setChecked(false);
            form.Control<QCheckBox>("ChkShutdown")->setChecked(true);
            form.Control<QCheckBox>("ChkKeepShape")->setChecked(false);
            auto* devices = form.Control<QComboBox>("CboDevice");
            devices->setCurrentIndex(devices->findData("iphone"));
            form.resize(760, 560);
            QVERIFY(form.close());
            QVERIFY(form.messages.isEmpty());
        }
        QFile file(home.SettingsFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        // Each key on a line of its own in the section, in any order.
        const QString section = text.section("[Options]\n", 1).section("\n[", 0, 0);
        for (const QString& line : {"OutputPath=" + home.Path("out") + "/", QString("Profile=7"), QString("Resolution=8"),
                                   QString("Channels=0"), QString("VideoQuality=1000"), QString("AudioQuality=40"),
                                   QString("VideoFrameRate=0"), QString("AudioSampleRate=5"), QString("Overwrite=False"),
                                   QString("ShutdownAfterCompleted=True"), QString("KeepShape=False"),
                                   QString("Device=iphone"), QString("WindowWidth=760"), QString("WindowHeight=560"),
                                   QString("WindowMaximized=False")})
            QVERIFY2(section.split('\n').contains(line), qPrintable(line + " in\n" + text));
        QVERIFY(text.contains("[Recent]\nLast=/tmp/a.avi\n"));

        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        QVERIFY(form.FormCreate());
        QCOMPARE(form.Control<QLineEdit>("EdtOutputFolder")->text(), home.Path("out") + "/");
        QCOMPARE(form.Control<QComboBox>("CboProfiles")->currentIndex(), 7);
        QCOMPARE(form.Control<QComboBox>("CboResolution")->currentText(), QString("640x480"));
        QCOMPARE(form.size(), QSize(760, 560));
        QCOMPARE(form.Control<QSpinBox>("SpinVideo")->value(), 1000);
        QCOMPARE(form.Control<QSpinBox>("SpinAudio")->value(), 40);
        QCOMPARE(form.Control<QComboBox>("CboFrameRate")->currentText(), QString("Auto"));
        QCOMPARE(form.Control<QComboBox>("CboAudioSampleRate")->currentText(), QString("48000"));
        QVERIFY(!form.Control<QCheckBox>("ChkOverwrite")->isChecked());
        QVERIFY(form.Control<QCheckBox>("ChkShutdown")->isChecked());
        QVERIFY(!form.Control<QCheckBox>("ChkKeepShape")->isChecked());
        QVERIFY(!form.ConversionSettings().KeepShape);
        QCOMPARE(std::string(DeviceAt(form.ConversionSettings().Device).ShortName), std::string("iphone"));
        form.close();
    }

    void aWriteThatFailsIsShownAndTheWindowClosesAnyway() {
        TTestHome home;
        // A file where the settings folder should be: the folder cannot be made.
        QFile blocker(home.Path("config"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TFakeShutdown shutdown;
        TTestForm form(shutdown);
        QVERIFY(form.FormCreate());
        form.show();
        QVERIFY(form.close());
        QVERIFY(!form.isVisible());
        QCOMPARE(form.MessageTexts(), QStringList({"Unable to write to " + home.SettingsFile() + "."}));
        QCOMPARE(form.messages[0].caption, QString("Free Tovrela"));
        QCOMPARE(form.messages[0].icon, QMessageBox::Critical);
    }

    void integersReadAsDecimalOrHexadecimal() {
        const std::pair<const char*, int32_t> readable[] = {
            {"42", 42}, {"-1", -1}, {"0x1F", 31}, {"0X1f", 31}, {"$10", 16}, {"$FFFFFFFF", -1}, {" 7 ", 7},
            {"2147483647", 2147483647},
        };
        for (const auto& [text, expected] : readable) {
            const std::optional<int32_t> value = ReadInt32(text, THexReach::AllBits);
            QVERIFY2(value.has_value(), text);
            QCOMPARE(*value, expected);
        }
        for (const char* text : {"", "0x", "$", "12a", "1.5", "2147483648", "0x100000000", "abc"}) {
            QVERIFY2(!ReadInt32(text, THexReach::AllBits).has_value(), text);
        }
    }

    void sectionAndKeyNamesIgnoreCaseAndValuesAreCut() {
        TTestHome home;
        home.WriteSettings("[options]\nprofile = 5\nOutputPath=" + QString(3000, 'x') + "\n");
        const TIniFile file(home.SettingsFile().toStdString());
        QCOMPARE(file.ReadInteger("Options", "Profile", 3), 5);
        QCOMPARE(file.ReadString("Options", "OutputPath", "").size(), size_t(2047));
        QCOMPARE(file.ReadString("Options", "Missing", "fallback"), std::string("fallback"));
    }
};

QTEST_MAIN(WindowSettingsTest)
#include "window_settings_test.moc"
