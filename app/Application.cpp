#include "Application.h"

#include <cstdio>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        if (handler_) {
            handler_(error);
        } else {
            std::fprintf(stderr, "%s\n", ApplicationErrorText(error.what()).c_str());
        }
    }
    return false;
}

void TApplication::SetErrorHandler(TErrorHandler handler) {
    if (auto* application = dynamic_cast<TApplication*>(QCoreApplication::instance()))
        application->handler_ = std::move(handler);
}

std::string ApplicationErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

QFont WindowFont() {
    QFont font = QApplication::font();
    font.setPixelSize(11);
    return font;
}
