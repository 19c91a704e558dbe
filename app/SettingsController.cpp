#include "app/SettingsController.h"

#include "app/Autostart.h"
#include "app/SettingsFile.h"
#include "app/frmCapi.h"
#include "capi/Capi.h"
#include "line/Line.h"
#include "settings/Profile.h"
#include "ui/FirstStartPanel.h"
#include "ui/MainWindowViews.h"
#include "ui/SettingsDialog.h"

#include <QTableView>

SettingsController::SettingsController(frmCapi &window, Options options, Connections connections)
    : m_window(window), m_options(std::move(options)), m_connections(std::move(connections))
{}

SettingsController::~SettingsController()
{
    delete m_dialog;
}

void SettingsController::open()
{
    // A dialog closed a moment ago is still there until its deferred delete.
    if (!m_dialog || !m_dialog->isVisible()) {
        const Autostart autostart(m_options.autostartPath);
        m_dialog = new SettingsDialog(
            SettingsFile::read(m_options.iniFile, m_options.programDir, autostart.isEnabled()),
            hooks());
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

SettingsHooks SettingsController::hooks()
{
    SettingsHooks h;
    h.apply = [this](const SettingsValues &before, const SettingsValues &after) {
        return apply(before, after);
    };
    h.checkLine = [this](const SettingsValues &values, SettingsHooks::Done done) {
        const CallMonitorSettings line = SettingsFile::lineOf(values);
        if (!line.isSet()) {
            LineProbe::tryCapi(this, m_options.makeCapi, kCheckTimeout, std::move(done));
            return;
        }
        const LineProbe::Target target{line.host, line.port};
        LineProbe::tryCallMonitor(
            this, target, kCheckTimeout,
            [target, done](LineProbe::Outcome outcome, const std::string &detail) {
                done(LineProbe::callMonitorText(outcome, target, detail));
            });
    };
    h.storePassword = m_connections.storePassword;
    if (m_connections.fetchRouterNow) {
        h.fetchRouterNow = [this](SettingsHooks::Done done) {
            m_connections.fetchRouterNow([done](int entries, const std::string &error) {
                done(error.empty() ? std::to_string(entries) + " Einträge abgerufen"
                                   : "Abruf fehlgeschlagen: " + error);
            });
        };
    }
    return h;
}

std::string SettingsController::notSaved(std::error_code error) const
{
    return "Die Einstellungen lassen sich nicht speichern (" +
           ProfileText::resolveFileName(m_options.iniFile, m_options.programDir) +
           "): " + error.message();
}

std::string SettingsController::apply(const SettingsValues &before, const SettingsValues &after)
{
    // The autostart override first: it can be put back, a replaced file cannot.
    const Autostart autostart(m_options.autostartPath);
    if (before.autostart != after.autostart) {
        if (const std::string error = autostart.setEnabled(after.autostart); !error.empty())
            return "Der Autostart lässt sich nicht ändern: " + error;
    }
    if (const auto changes = SettingsFile::changes(before, after); !changes.empty()) {
        if (const std::error_code error =
                IniSetAll(m_options.iniFile, changes, m_options.programDir)) {
            if (before.autostart != after.autostart)
                autostart.setEnabled(before.autostart);
            return notSaved(error);
        }
    }
    takeEffect(before, after);
    return {};
}

void SettingsController::takeEffect(const SettingsValues &before, const SettingsValues &after)
{
    const CallMonitorSettings oldLine = SettingsFile::lineOf(before);
    const CallMonitorSettings newLine = SettingsFile::lineOf(after);
    if (oldLine.host != newLine.host || oldLine.port != newLine.port) {
        m_window.replaceLine(m_window.makeLine(newLine));
        if (newLine.isSet())
            lineConfigured();
    }
    for (std::size_t i = 0; i < after.msn.size(); ++i)
        if (before.msn[i] != after.msn[i])
            m_window.lockKeys().setMsn(int(i) + 1, after.msn[i]);
    if (before.notifications != after.notifications)
        m_window.setNotificationsEnabled(after.notifications);
    if (SettingsFile::phonebookChanged(before, after) && m_connections.reloadPhonebook)
        m_connections.reloadPhonebook();
}

void SettingsController::showFirstStart()
{
    m_window.setNoLineConfigured(true);
    if (!m_panel) {
        m_panel = new FirstStartPanel({[this] { searchRouters(); }, [this] { open(); },
                                       [this](std::size_t index) { useRouter(index); }},
                                      &m_window);
        m_panel->setGeometry(m_window.views().grdAnrufe().geometry());
    }
    m_panel->show();
    m_panel->raise();
    m_window.views().RestoreWindow();
}

void SettingsController::searchRouters()
{
    m_panel->showSearching();
    LineProbe::searchRouters(this, m_options.routerCandidates, kSearchTimeout,
                             [this](const std::vector<LineProbe::Target> &answered) {
                                 m_found = answered;
                                 std::vector<std::string> places;
                                 for (const auto &t : answered)
                                     places.push_back(t.host + ":" + std::to_string(t.port));
                                 if (m_panel)
                                     m_panel->showFound(places);
                             });
}

void SettingsController::useRouter(std::size_t index)
{
    if (index >= m_found.size())
        return;
    const LineProbe::Target target = m_found[index];
    const std::error_code error =
        IniSetAll(m_options.iniFile,
                  {{CallMonitorSettings::kSection, CallMonitorSettings::kHostKey, target.host},
                   {CallMonitorSettings::kSection, CallMonitorSettings::kPortKey,
                    std::to_string(target.port)}},
                  m_options.programDir);
    if (error) {
        m_panel->showMessage(notSaved(error));
        return;
    }
    m_window.replaceLine(m_window.makeLine(
        CallMonitorSettings::fromValues(target.host, std::to_string(target.port))));
    lineConfigured();
}

void SettingsController::lineConfigured()
{
    m_window.setNoLineConfigured(false);
    if (m_panel)
        m_panel->hide();
}
