#include "UnitGeneral.h"

#include <sys/utsname.h>

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>
#include <cstdlib>

namespace {

std::string FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool PowerOffThroughLogind() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return false;
    QDBusInterface manager("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                           bus);
    if (!manager.isValid()) return false;
    // true: logind may ask the user for authorisation when policy needs it.
    const QDBusMessage reply = manager.call("PowerOff", true);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool PowerOffThroughSystemctl() { return QProcess::execute("systemctl", {"poweroff"}) == 0; }

}  // namespace

std::string SettingsPath() {
    std::string folder = FromEnvironment("XDG_CONFIG_HOME");
    if (folder.empty()) {
        const std::string home = FromEnvironment("HOME");
        if (home.empty()) return "";
        folder = home + "/.config";
    }
    if (folder.back() != '/') folder += '/';
    return folder + "Free Tovrela/Options.ini";
}

std::string OperatingSystemName() {
    utsname names{};
    if (uname(&names) != 0) return "";
    return names.sysname;
}

bool TSystemShutdown::Disabled() { return std::getenv("TOVRELA_NO_SHUTDOWN") != nullptr; }

bool TSystemShutdown::ShutDownComputer() {
    if (Disabled() || OperatingSystemName() != "Linux") return false;
    return PowerOffThroughLogind() || PowerOffThroughSystemctl();
}
