#pragma once
// The About window: the product, its version, and two links that the
// main window opens (the web page in the browser, the support address in the
// mail program).

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

class TFrmAbout : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kWebsite = "https://tovrela.example.org/";
    static constexpr const char* kSupportEmail = "support@tovrela.example.org";

    // `openLink` opens a link (and says so when it cannot).
    explicit TFrmAbout(std::function<void(const QUrl&)> openLink, QWidget* parent = nullptr);

public slots:
    void BtnOkClick();
    void LblWebsiteClick();
    void LblEmailClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* LblWebsite;
    QLabel* LblEmail;
    QPushButton* BtnOk;
    std::function<void(const QUrl&)> open_link_;
};
