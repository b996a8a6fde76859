#include "WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTableWidget>

#include "FFmpegTask.h"
#include "TestMedia.h"

QStringList TTestForm::Column(int column) {
    auto* list = Control<QTableWidget>("Lvw");
    QStringList texts;
    for (int row = 0; row < list->rowCount(); ++row) texts << list->item(row, column)->text();
    return texts;
}

QStringList TTestForm::MessageTexts() const {
    QStringList texts;
    for (const TShownMessage& message : messages) texts << message.text;
    return texts;
}

TTestHome::TTestHome() : old_home_(qgetenv("HOME")), old_config_(qgetenv("XDG_CONFIG_HOME")) {
    qputenv("HOME", dir_.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toLocal8Bit());
}

TTestHome::~TTestHome() {
    qputenv("HOME", old_home_);
    if (old_config_.isEmpty()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", old_config_);
    }
}

QString TTestHome::SettingsFile() const { return QString::fromStdString(SettingsPath()); }

void TTestHome::WriteSettings(const QString& lines) const {
    QDir().mkpath(QFileInfo(SettingsFile()).path());
    QFile file(SettingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines.toUtf8());
}

void CopyClip(const char* clipName, const QString& target) {
    QDir().mkpath(QFileInfo(target).path());
    QFile::remove(target);
    QVERIFY2(QFile::copy(QString::fromStdString(TestMediaPath(clipName)), target), qPrintable(target));
}

TWindowFixture::TWindowFixture() {
    QVERIFY(form.FormCreate());
    form.folderToChoose = Out();
    form.BtnChangeOutputFolderClick();
}

void TWindowFixture::Add(const QStringList& files) {
    form.filesToChoose = files;
    form.BtnAddClick();
}

void TWindowFixture::AddClips(const QList<std::pair<const char*, QString>>& clips) {
    QStringList files;
    for (const auto& [clip, name] : clips) {
        CopyClip(clip, home.Path("in/" + name));
        files << home.Path("in/" + name);
    }
    const int rows = form.Control<QTableWidget>("Lvw")->rowCount();
    Add(files);
    QCOMPARE(form.Control<QTableWidget>("Lvw")->rowCount(), rows + int(clips.size()));
}

void TWindowFixture::WaitUntilQuiet() {
    TThreadCount::Process().WaitUntilNone();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}
