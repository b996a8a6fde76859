#include "UnitFrmAbout.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "Application.h"
#include "ProgramIcon.h"
#include "RunTexts.h"

namespace {

QLabel* CentredLabel(QWidget* parent, const char* name, const QString& text, int y, int height = 18) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(4, y, 268, height);
    return label;
}

QLabel* LinkLabel(QWidget* parent, const char* name, const QString& text, int y) {
    QLabel* label = CentredLabel(parent, name, text, y);
    label->setCursor(Qt::PointingHandCursor);
    label->setStyleSheet("color: #1a5fb4; text-decoration: underline;");
    return label;
}

}  // namespace

TFrmAbout::TFrmAbout(std::function<void(const QUrl&)> openLink, QWidget* parent)
    : QDialog(parent), open_link_(std::move(openLink)) {
    setObjectName("FrmAbout");
    setWindowTitle("About Tovrela");
    setFixedSize(276, 230);
    setFont(WindowFont());

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(122, 14, 32, 32);
    Image1->setPixmap(QPixmap::fromImage(DrawProgramIcon(32)));

    Label1 = CentredLabel(this, "Label1", QString(RunTexts::kApplicationTitle) + " V" + RunTexts::kApplicationVersion,
                          56, 22);
    QFont title = Label1->font();
    title.setBold(true);
    title.setPixelSize(15);
    Label1->setFont(title);
    Label2 = CentredLabel(this, "Label2", QString::fromUtf8("Copyright \u00A9 2009\u20132026 the Tovrela team"), 86);
    Label3 = CentredLabel(this, "Label3", "Free to use and to pass on.", 104);
    LblWebsite = LinkLabel(this, "LblWebsite", QStringLiteral("Website: ") + kWebsite, 134);
    LblEmail = LinkLabel(this, "LblEmail", QStringLiteral("Support Email: ") + kSupportEmail, 156);
    LblWebsite->installEventFilter(this);
    LblEmail->installEventFilter(this);

    BtnOk = new QPushButton("OK", this);
    BtnOk->setObjectName("BtnOk");
    BtnOk->setGeometry(98, 190, 80, 28);
    BtnOk->setDefault(true);
    connect(BtnOk, &QPushButton::clicked, this, &TFrmAbout::BtnOkClick);
}

void TFrmAbout::BtnOkClick() { accept(); }

void TFrmAbout::LblWebsiteClick() { open_link_(QUrl(kWebsite)); }

void TFrmAbout::LblEmailClick() { open_link_(QUrl(QStringLiteral("mailto:") + kSupportEmail)); }

bool TFrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == LblWebsite) {
            LblWebsiteClick();
            return true;
        }
        if (watched == LblEmail) {
            LblEmailClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
