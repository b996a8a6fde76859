#include "IpodLibraryDialog.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <filesystem>

#include "IpodLibrary.h"
#include "SyncPlan.h"

namespace {

enum TColumn { colTitle, colKind, colLength, colSize, colCount };
constexpr QSize kPosterSize(48, 48);

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString LengthText(int64_t ms) {
    const int64_t seconds = std::max<int64_t>(ms, 0) / 1000;
    const QString minutesAndSeconds =
        QString("%1:%2").arg(seconds / 60 % 60, seconds >= 3600 ? 2 : 1, 10, QChar('0')).arg(seconds % 60, 2, 10, QChar('0'));
    return seconds >= 3600 ? QString::number(seconds / 3600) + ":" + minutesAndSeconds : minutesAndSeconds;
}

// "TV show", "Movie": the kind as a column reads it.
QString KindText(const TIpodListedVideo& video) {
    QString kind = Q(video.Kind);
    if (!kind.isEmpty()) kind[0] = kind[0].toUpper();
    return kind;
}

// The show, season and episode, the artist, and whether this program put
// it there: what the columns have no room for.
QString DetailText(const TIpodListedVideo& video) {
    QStringList lines{Q(video.Title)};
    if (!video.Show.empty() || video.Season || video.Episode)
        lines << QString("%1, season %2, episode %3").arg(Q(video.Show)).arg(video.Season).arg(video.Episode);
    if (!video.Artist.empty()) lines << "By " + Q(video.Artist);
    if (video.Ours) lines << "Put there by this program";
    return lines.join('\n');
}

// What a video without a poster shows: a grey frame with a play mark.
QPixmap PlaceholderPoster() {
    QPixmap picture(kPosterSize);
    picture.fill(QColor(0xd8, 0xd8, 0xd8));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x90, 0x90, 0x90));
    const QPointF mark[] = {{18, 14}, {18, 34}, {34, 24}};
    painter.drawPolygon(mark, 3);
    return picture;
}

}  // namespace

struct TIpodLibraryDialog::TRow {
    uint64_t id = 0;
    QString title, kind, length, size, details;
    QImage poster;  // null when the video has none
};

struct TIpodLibraryDialog::TReading {
    std::vector<TRow> rows;
    uintmax_t capacity = 0;
    uintmax_t available = 0;
    QString failure;  // what went wrong, naming the iPod; empty when nothing did
    bool listed = false;
};

// The lock goes with the library at the end.
TIpodLibraryDialog::TReading TIpodLibraryDialog::Read(const std::string& mount, const TNotice& notice) const {
    TReading reading;
    TIpodLibrary library;
    std::string error;
    if (!library.Open(mount, notice, error, GivenUp())) {
        reading.failure = Q(error);
        return reading;
    }
    for (const TIpodListedVideo& video : library.Videos()) {
        TRow row;
        row.id = video.Id;
        row.title = Q(video.Title);
        row.kind = KindText(video);
        row.length = LengthText(video.LengthMs);
        row.size = Q(SyncSizeText(video.Size));
        row.details = DetailText(video);
        const TIpodPoster poster = library.Poster(video.Id, kPosterSize.width(), kPosterSize.height());
        if (!poster.Rgb.empty())
            row.poster = QImage(poster.Rgb.data(), poster.Width, poster.Height, poster.Width * 3, QImage::Format_RGB888)
                             .copy();
        reading.rows.push_back(std::move(row));
    }
    std::error_code spaceError;
    const std::filesystem::space_info space = std::filesystem::space(mount, spaceError);
    if (!spaceError) {
        reading.capacity = space.capacity;
        reading.available = std::min(space.available, space.capacity);
    }
    reading.listed = true;
    return reading;
}

TIpodLibraryDialog::TIpodLibraryDialog(const std::string& mount, const QString& label, TAsk ask, TTell tell,
                                       QWidget* parent)
    : QDialog(parent), mount_(mount), label_(label), ask_(std::move(ask)), tell_(std::move(tell)) {
    setObjectName("FrmIpodLibrary");
    setWindowTitle("On the iPod \"" + label + "\"");
    resize(560, 400);
    worker_.setMaxThreadCount(1);

    state_ = new QLabel(this);
    state_->setObjectName("LblIpodState");
    list_ = new QTableWidget(0, colCount, this);
    list_->setObjectName("LvwIpodVideos");
    list_->setHorizontalHeaderLabels({"Title", "Kind", "Length", "Size"});
    list_->horizontalHeader()->setSectionResizeMode(colTitle, QHeaderView::Stretch);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column : {colKind, colLength, colSize}) list_->setColumnWidth(column, 90);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(kPosterSize.height() + 4);
    list_->setIconSize(kPosterSize);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(false);
    space_ = new QProgressBar(this);
    space_->setObjectName("BarIpodSpace");
    space_->setTextVisible(true);
    space_->setAlignment(Qt::AlignCenter);
    remove_ = new QPushButton("&Remove", this);
    remove_->setObjectName("BtnRemoveVideos");
    remove_->setToolTip("Takes the selected videos and their files off the iPod");
    auto* close = new QPushButton("Close", this);
    close->setObjectName("BtnClose");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(remove_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* column = new QVBoxLayout(this);
    column->addWidget(state_);
    column->addWidget(list_, 1);
    column->addWidget(space_);
    column->addLayout(buttons);

    connect(remove_, &QPushButton::clicked, this, &TIpodLibraryDialog::RemoveSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(list_, &QTableWidget::itemSelectionChanged, this, &TIpodLibraryDialog::UpdateButtons);
    Refresh();
}

TIpodLibraryDialog::~TIpodLibraryDialog() {
    closing_ = true;
    worker_.waitForDone();
}

std::function<bool()> TIpodLibraryDialog::GivenUp() const {
    return [this] { return closing_.load(); };
}

void TIpodLibraryDialog::Refresh() {
    if (busy_) return;
    state_->setText("Reading the iPod…");
    const std::string mount = mount_;
    Run([this, mount] {
        return Read(mount, [this](const std::string& notice) {
            QMetaObject::invokeMethod(this, [this, text = Q(notice)] { state_->setText(text); }, Qt::QueuedConnection);
        });
    });
}

void TIpodLibraryDialog::RemoveSelected() {
    if (busy_) return;
    std::vector<uint64_t> chosen;
    QStringList titles;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
        chosen.push_back(ids_.at(static_cast<size_t>(index.row())));
        titles << "\"" + list_->item(index.row(), colTitle)->text() + "\"";
    }
    if (chosen.empty()) return;
    const QString question = QString("Remove %1 from the iPod \"%2\"? %3 will be gone from it.\n\n%4")
                                 .arg(chosen.size() == 1 ? "this video" : QString("these %1 videos").arg(chosen.size()))
                                 .arg(label_)
                                 .arg(chosen.size() == 1 ? "Its file" : "Their files")
                                 .arg(titles.join('\n'));
    if (!ask_(question)) return;
    state_->setText("Removing…");
    const std::string mount = mount_;
    Run([this, mount, chosen] {
        const TNotice notice = [this](const std::string& text) {
            QMetaObject::invokeMethod(this, [this, text = Q(text)] { state_->setText(text); }, Qt::QueuedConnection);
        };
        QString failure;
        {
            // One locked change for every video chosen; a video another
            // program took off meanwhile is simply not there any more.
            TIpodLibrary library;
            std::string error;
            bool changed = library.Open(mount, notice, error, GivenUp());
            if (changed) {
                for (uint64_t id : chosen) library.Remove(id);
                changed = library.Commit(true, error);
            }
            if (!changed) failure = "Nothing was removed from the iPod.\n\n" + Q(error);
        }
        TReading reading = Read(mount, notice);
        if (!failure.isEmpty()) reading.failure = failure + (reading.failure.isEmpty() ? "" : "\n" + reading.failure);
        return reading;
    });
}

void TIpodLibraryDialog::Run(std::function<TReading()> work) {
    SetBusy(true);
    worker_.start([this, work = std::move(work)] {
        TReading reading = work();
        QMetaObject::invokeMethod(
            this, [this, reading = std::move(reading)] { Show(reading); }, Qt::QueuedConnection);
    });
}

void TIpodLibraryDialog::Show(const TReading& reading) {
    SetBusy(false);
    if (reading.listed) {
        list_->setRowCount(0);
        ids_.clear();
        static const QPixmap placeholder = PlaceholderPoster();
        for (const TRow& row : reading.rows) {
            const int at = list_->rowCount();
            list_->insertRow(at);
            auto* title = new QTableWidgetItem(row.title);
            title->setIcon(row.poster.isNull() ? placeholder
                                               : QPixmap::fromImage(row.poster.scaled(kPosterSize, Qt::KeepAspectRatio,
                                                                                      Qt::SmoothTransformation)));
            title->setToolTip(row.details);
            list_->setItem(at, colTitle, title);
            list_->setItem(at, colKind, new QTableWidgetItem(row.kind));
            list_->setItem(at, colLength, new QTableWidgetItem(row.length));
            list_->setItem(at, colSize, new QTableWidgetItem(row.size));
            ids_.push_back(row.id);
        }
        const uintmax_t used = reading.capacity - reading.available;
        // The bar counts in mebibytes: an iPod's bytes do not fit an int.
        space_->setRange(0, static_cast<int>(std::max<uintmax_t>(reading.capacity >> 20, 1)));
        space_->setValue(static_cast<int>(used >> 20));
        space_->setFormat(Q(SyncSizeText(used) + " used, " + SyncSizeText(reading.available) + " free"));
        const size_t count = reading.rows.size();
        state_->setText(count == 0 ? "No videos on this iPod."
                                   : QString("%1 %2 on this iPod.").arg(count).arg(count == 1 ? "video" : "videos"));
    } else {
        state_->setText("The iPod could not be read.");
    }
    UpdateButtons();
    if (reading.listed) emit listed();
    if (!reading.failure.isEmpty()) tell_(reading.failure);
}

void TIpodLibraryDialog::SetBusy(bool busy) {
    busy_ = busy;
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    UpdateButtons();
}

void TIpodLibraryDialog::UpdateButtons() {
    remove_->setEnabled(!busy_ && !list_->selectionModel()->selectedRows().isEmpty());
}
