#pragma once
// A main window whose dialogs, message boxes, links and shutdown are
// recorded instead of shown, with its settings and home in a folder of its own.

#include <QCursor>
#include <QGuiApplication>
#include <QList>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <functional>
#include <utility>

#include "UnitFrmMain.h"
#include "UnitGeneral.h"

class TFakeShutdown : public TShutdown {
public:
    bool ShutDownComputer() override {
        ++requests;
        return true;
    }
    int requests = 0;
};

struct TShownMessage {
    QString text;
    QString caption;
    QMessageBox::Icon icon;
    int shutdownsBefore;  // shutdown requests made before the box was shown
    int boxesAlreadyOpen;
    QStringList buttons;  // besides OK
};

class TTestForm : public TForm1 {
public:
    explicit TTestForm(TFakeShutdown& shutdown) : TForm1(shutdown), fake_shutdown_(shutdown) {}
    using TForm1::notify_after_ms_;

    template <class T>
    T* Control(const char* name) {
        T* control = findChild<T*>(name);
        if (!control) qFatal("no control named %s", name);
        return control;
    }
    // The texts of one column, top to bottom.
    QStringList Column(int column);
    QStringList MessageTexts() const;

    QStringList filesToChoose;
    QString folderToChoose;
    QStringList foldersToSync;
    QList<TShownMessage> messages;
    // The button pressed in the next box that offers it; OK otherwise.
    QString buttonToPress;
    QStringList notifications;
    QList<QUrl> openedUrls;
    bool realOpener = false;  // the desktop's own opener is run
    QStringList questions;
    bool answerYes = true;
    bool desktopOpensUrls = true;
    std::function<void()> whileBoxIsOpen;
    int boxesOpen = 0;
    // The screen's room for windows; the real screen's when not valid.
    QSize room;
    // The cursor shown as each row was added.
    QList<Qt::CursorShape> cursorsWhileAdding;

protected:
    QStringList ChooseFilesToConvert() override { return filesToChoose; }
    QString ChooseOutputFolder() override { return folderToChoose; }
    QStringList ChooseSyncFolders() override { return foldersToSync; }
    void PresentMessageBox(const QString& text, const QString& caption, QMessageBox::Icon icon,
                           const std::vector<TBoxButton>& buttons) override {
        QStringList captions;
        for (const TBoxButton& button : buttons) captions << button.caption;
        messages.push_back({text, caption, icon, fake_shutdown_.requests, boxesOpen, captions});
        // What a person does while the box is open; the box's modal loop
        // goes on delivering the window's events meanwhile.
        ++boxesOpen;
        if (whileBoxIsOpen) whileBoxIsOpen();
        --boxesOpen;
        for (const TBoxButton& button : buttons)
            if (button.caption == buttonToPress) button.action();
    }
    void NotifyDesktop(const QString& summary, const QString& body) override {
        notifications << summary + ": " + body;
    }
    void RequestThumbnail(int row, const QString& path) override {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        cursorsWhileAdding << (cursor ? cursor->shape() : Qt::ArrowCursor);
        TForm1::RequestThumbnail(row, path);
    }
    QSize AvailableRoom() const override { return room.isValid() ? room : TForm1::AvailableRoom(); }
    // As if no file manager answered: the window then opens the folder.
    bool SelectInFileManager(const QString&) override { return false; }
    bool OpenUrl(const QUrl& url) override {
        openedUrls.push_back(url);
        return realOpener ? TForm1::OpenUrl(url) : desktopOpensUrls;
    }
    bool AskYesNo(const QString& text, const QString&) override {
        questions.push_back(text);
        return answerYes;
    }

private:
    TFakeShutdown& fake_shutdown_;
};

// HOME and XDG_CONFIG_HOME pointed at a fresh temporary folder for the life
// of the object.
class TTestHome {
public:
    TTestHome();
    ~TTestHome();
    QString Path(const QString& name) const { return dir_.filePath(name); }
    // The settings file the window uses here.
    QString SettingsFile() const;
    void WriteSettings(const QString& lines) const;

private:
    QTemporaryDir dir_;
    QByteArray old_home_, old_config_;
};

// Copies a generated clip to `target`; fails the test when it cannot.
void CopyClip(const char* clipName, const QString& target);

// A window with its libraries bound and a home of its own, writing into
// home/out/.
struct TWindowFixture {
    TTestHome home;
    TFakeShutdown shutdown;
    TTestForm form{shutdown};
    TWindowFixture();
    ~TWindowFixture() { form.close(); }
    QString Out() const { return home.Path("out"); }
    // Adds the files as if chosen in the file dialog.
    void Add(const QStringList& files);
    // Rows for the named clips, each copied to home/in/ under its new name.
    void AddClips(const QList<std::pair<const char*, QString>>& clips);
    // Waits until the run's threads are gone and the events they posted are
    // delivered: whatever the run still had to say has been said.
    void WaitUntilQuiet();
};
