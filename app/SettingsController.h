#pragma once

#include "app/LineProbe.h"
#include "ui/FirstStartPanel.h"
#include "ui/SettingsDialog.h"
#include "ui/SettingsValues.h"

#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

class Capi;
class frmCapi;

/// Opens the settings dialog, writes what it changed and makes it take effect at once; and
/// offers the first start's router search. The window is changed only through its own
/// operations (replaceLine, lockKeys, setNotificationsEnabled).
class SettingsController final : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kCheckTimeout{5};
    static constexpr std::chrono::seconds kSearchTimeout{2};

    struct Options
    {
        std::string iniFile; // as IniGet takes it
        std::string programDir;
        std::string autostartPath; // the user's autostart override
        /// A CAPI of its own for "Verbindung prüfen".
        std::function<std::unique_ptr<Capi>()> makeCapi;
        /// Where "Router suchen" looks (tests: loopback ports).
        std::vector<LineProbe::Target> routerCandidates;
    };

    /// What other rooms offer; each may stay empty.
    struct Connections
    {
        /// Keeps the router password in the Secret Service; "" or what went wrong.
        std::function<std::string(const std::string &user, const std::string &password)>
            storePassword;
        /// Fetches the router's phonebooks; done gets the entry count, or an error text.
        std::function<void(std::function<void(int entries, const std::string &error)> done)>
            fetchRouterNow;
        /// The phonebook sources changed: read them again.
        std::function<void()> reloadPhonebook;
    };

    SettingsController(frmCapi &window, Options options, Connections connections);
    ~SettingsController() override;

    /// Opens the dialog (non-modal: a tray host may wait on the call that opened it), or
    /// raises it when it is open already.
    void open();
    SettingsDialog *dialog() const { return m_dialog; }

    /// Writes after where it differs from before, then makes it take effect; "" or the
    /// message for the dialog, in which case neither file nor program changed.
    std::string apply(const SettingsValues &before, const SettingsValues &after);

    /// The first start: the call list window with the panel that offers a line.
    void showFirstStart();
    FirstStartPanel *firstStartPanel() const { return m_panel; }

private:
    SettingsHooks hooks();
    void takeEffect(const SettingsValues &before, const SettingsValues &after);
    void searchRouters();
    void useRouter(std::size_t index);
    void lineConfigured();
    std::string notSaved(std::error_code error) const;

    frmCapi &m_window;
    Options m_options;
    Connections m_connections;
    QPointer<SettingsDialog> m_dialog;
    QPointer<FirstStartPanel> m_panel;
    std::vector<LineProbe::Target> m_found;
};
