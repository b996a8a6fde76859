#pragma once
// The application object: every error that escapes an event handler ends in
// one handler, which shows it, instead of ending the program.

#include <QApplication>
#include <QFont>
#include <exception>
#include <functional>
#include <string>

class TApplication : public QApplication {
public:
    using TErrorHandler = std::function<void(const std::exception&)>;

    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    // Installs the handler on the running application, when it is a
    // TApplication.
    static void SetErrorHandler(TErrorHandler handler);

private:
    TErrorHandler handler_;
};

// The font of the program's windows, whose controls are placed by pixel:
// the desktop's family at a fixed pixel size.
QFont WindowFont();

// The message of an error as it is shown: a "." is added when the text ends
// in a character that sorts after "." (a letter, a digit, ":" or "?").
std::string ApplicationErrorText(const std::string& message);
