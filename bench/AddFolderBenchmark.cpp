// How long adding a folder of files to the window's list takes, with the
// thumbnails each row asks for and without them (as before there were any):
// the pictures are taken on a worker thread, so adding should hardly slow.
//
//   add_folder_benchmark [--without-thumbnails] [COUNT]
//
// Prints the milliseconds the add took; the pictures still being taken when
// it returns are not counted (the window is usable by then).

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

#include "Application.h"
#include "TestMedia.h"
#include "UnitFrmMain.h"
#include "UnitGeneral.h"

namespace {

class TNoShutdown : public TShutdown {
public:
    bool ShutDownComputer() override { return false; }
};

class TBenchForm : public TForm1 {
public:
    TBenchForm(TShutdown& shutdown, bool thumbnails) : TForm1(shutdown), thumbnails_(thumbnails) {}

protected:
    void PresentMessageBox(const QString& text, const QString&, QMessageBox::Icon,
                           const std::vector<TBoxButton>&) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    void RequestThumbnail(int row, const QString& path) override {
        if (thumbnails_) TForm1::RequestThumbnail(row, path);
    }

private:
    bool thumbnails_;
};

}  // namespace

int main(int argc, char** argv) {
    bool thumbnails = true;
    int count = 200;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--without-thumbnails") == 0)
            thumbnails = false;
        else
            count = std::atoi(argv[i]);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    TApplication application(argc, argv);

    QStringList files;
    QDir().mkpath(home.filePath("in"));
    for (int i = 0; i < count; ++i) {
        const QString file = home.filePath(QString("in/clip%1.avi").arg(i));
        if (!QFile::copy(QString::fromStdString(TestMediaPath(kSampleSourceName)), file)) return 1;
        files << file;
    }
    TNoShutdown shutdown;
    TBenchForm form(shutdown, thumbnails);
    if (!form.FormCreate()) return 3;
    QElapsedTimer clock;
    clock.start();
    form.AddFiles(files);
    std::printf("added %d files in %lld ms (%s thumbnails)\n", count, static_cast<long long>(clock.elapsed()),
                thumbnails ? "with" : "without");
    form.close();
    return 0;
}
