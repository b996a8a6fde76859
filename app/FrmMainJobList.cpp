// The main window's job list: adding files (also by dropping them), removing
// and moving rows, the pictures at their start, and what a row offers.

#include "UnitFrmMain.h"

#include <QCollator>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

#include "FileDialogFilter.h"
#include "FrmMainShared.h"
#include "PosterPicture.h"

using namespace FrmMain;

namespace {

// How often a long add shows the rows added so far.
constexpr qint64 kPaintRowsEveryMs = 250;

}  // namespace

void TForm1::BtnAddClick() {
    const QStringList files = ChooseFilesToConvert();
    if (!files.isEmpty()) AddFiles(files, true);
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
    std::vector<TUserMessage> refusals;
    {
        // Checking a folder of files takes seconds: the cursor says the
        // window is busy, and the rows show as they are added.
        struct TBusy {
            TBusy() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
            ~TBusy() { QGuiApplication::restoreOverrideCursor(); }
        } busy;
        QElapsedTimer sincePainted;
        sincePainted.start();
        for (const QString& path : paths) {
            if (std::optional<TUserMessage> refusal = AddOneFile(path)) refusals.push_back(std::move(*refusal));
            if (sincePainted.elapsed() >= kPaintRowsEveryMs) {
                Lvw->viewport()->repaint();
                sincePainted.restart();
            }
        }
    }
    VexmoC.ClearTasks();
    // The pictures are taken once the files are in: taking them while the
    // files are checked would slow adding a folder down.
    StartThumbnails();
    if (!gatherRefusals) {
        for (const TUserMessage& refusal : refusals) ShowMessage(refusal);
        return;
    }
    QStringList refused;
    for (const TUserMessage& refusal : refusals) refused << Q(refusal.text);
    if (!refused.isEmpty()) ShowMessageBox(refused.join('\n'), "Error", QMessageBox::Critical);
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
    Lvw->item(row, colInputName)->setToolTip(InputToolTip(path.toStdString(), job.Notes));
    Lvw->item(row, colOutputName)->setToolTip(Q(job.OutputPath));
    Lvw->item(row, colInputName)->setData(kRowIdRole, next_row_id_++);
    Lvw->item(row, colInputName)->setData(kHasVideoRole, job.HasVideo);
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
    if (type == QEvent::Resize) FitRowsToList();
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
        QStringList given;
        for (const QUrl& url : drop->mimeData()->urls())
            if (url.isLocalFile()) given << url.toLocalFile();
        // Added once the drop is over: the file manager waits for the drop
        // to end, and adding may show message boxes.
        QMetaObject::invokeMethod(
            this, [this, given] { AddDropped(given); }, Qt::QueuedConnection);
    }
    return true;
}

void TForm1::AddDropped(const QStringList& paths) {
    std::vector<std::string> given;
    for (const QString& path : paths) given.push_back(QFileInfo(path).absoluteFilePath().toStdString());
    // A folder's names sort as the person's language sorts them, numbers by
    // value; the C locale's collator compares code points only, so without a
    // language the names keep the file manager's natural order.
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const TNameLess byLanguage = [&collator](const std::string& a, const std::string& b) {
        return collator.compare(QString::fromStdString(a), QString::fromStdString(b)) < 0;
    };
    const bool hasLanguage = collator.locale().language() != QLocale::C;
    QStringList files;
    // A folder brings everything in it, subfolders too; the files among them
    // that cannot be converted are listed in one message.
    for (const std::string& file : ExpandInputs(given, true, hasLanguage ? byLanguage : TNameLess(NaturalLess)))
        files << Q(file);
    AddFiles(files, true);
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
        // Centred in a box of one size, so that every name starts in one column.
        const QImage scaled = picture.scaled(kThumbnailSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPixmap box(kThumbnailSize);
        box.fill(Qt::transparent);
        QPainter(&box).drawImage((kThumbnailSize.width() - scaled.width()) / 2,
                                 (kThumbnailSize.height() - scaled.height()) / 2, scaled);
        item->setIcon(QIcon(box));
        return;
    }
}

void TForm1::StopThumbnails() {
    thumbnails_.clear();
    thumbnails_.waitForDone();
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
