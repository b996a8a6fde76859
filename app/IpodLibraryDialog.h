#pragma once
// "On this iPod…": the videos on the chosen iPod with their posters, titles,
// kinds, lengths and sizes, a bar of its used and free space, and Remove.
// The iPod is read and changed on a thread of its own, each time under its
// lock through the same library calls the command line makes, so that the
// window goes on while another program holds the iPod.

#include <QDialog>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

class TIpodLibraryDialog : public QDialog {
    Q_OBJECT
public:
    // `ask` puts a Yes/No question; `tell` shows a failure.
    using TAsk = std::function<bool(const QString& text)>;
    using TTell = std::function<void(const QString& text)>;
    TIpodLibraryDialog(const std::string& mount, const QString& label, TAsk ask, TTell tell, QWidget* parent);
    ~TIpodLibraryDialog() override;

    const std::string& Mount() const { return mount_; }
    // Reads the iPod again.
    void Refresh();
    // Removes the selected videos, after asking.
    void RemoveSelected();
    // True while the iPod is being read or changed.
    bool Busy() const { return busy_; }

signals:
    // The list shows what the iPod holds now.
    void listed();

private:
    struct TRow;
    struct TReading;
    using TNotice = std::function<void(const std::string&)>;
    // The iPod's videos and space, read under its lock.
    TReading Read(const std::string& mount, const TNotice& notice) const;
    // Runs `work` on the dialog's thread, then shows what it read.
    void Run(std::function<TReading()> work);
    // True once the dialog goes, so that a wait for another program's lock
    // does not hold the window.
    std::function<bool()> GivenUp() const;
    void Show(const TReading& reading);
    void SetBusy(bool busy);
    void UpdateButtons();

    std::string mount_;
    QString label_;
    TAsk ask_;
    TTell tell_;
    std::vector<uint64_t> ids_;  // of the rows, in their order
    bool busy_ = false;
    QThreadPool worker_;
    std::atomic<bool> closing_{false};  // the dialog goes: a wait for the lock ends
    QLabel* state_;
    QTableWidget* list_;
    QProgressBar* space_;
    QPushButton* remove_;
};
