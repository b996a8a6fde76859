#pragma once
// What the window needs from the system around it: where the settings live,
// which system this is, and turning the computer off when a run has finished.

#include <string>

// $XDG_CONFIG_HOME (else ~/.config) + "/Free Tovrela/Options.ini"; empty when
// neither the variable nor the home folder is known.
std::string SettingsPath();

// The kernel's name as the system reports it ("Linux" here); empty when it
// cannot be told.
std::string OperatingSystemName();

// Powering the computer off, behind an interface so that nothing but the
// program itself ever does it for real.
class TShutdown {
public:
    virtual ~TShutdown() = default;
    // True when the system accepted the request.
    virtual bool ShutDownComputer() = 0;
};

// Asks logind to power off (over the system bus, allowing it to ask the user
// for authorisation), and falls back to `systemctl poweroff`. Refuses while
// the environment variable TOVRELA_NO_SHUTDOWN is set, and on systems other
// than Linux.
class TSystemShutdown : public TShutdown {
public:
    bool ShutDownComputer() override;
    static bool Disabled();
};
