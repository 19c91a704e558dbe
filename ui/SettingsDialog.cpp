#include "ui/SettingsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QString q(const std::string &s)
{
    return QString::fromStdString(s);
}

std::string s(const QString &text)
{
    return text.trimmed().toStdString();
}

// Every control has a name for tests (objectName) and one for screen readers.
template<class W> W *named(W *widget, const char *objectName, const QString &accessible)
{
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setAccessibleName(accessible);
    return widget;
}

QLineEdit *edit(const char *objectName, const QString &accessible, QWidget *parent)
{
    return named(new QLineEdit(parent), objectName, accessible);
}

const char *const kLockKeys[3] = {"Num Lock", "Caps Lock", "Scroll Lock"};

} // namespace

SettingsDialog::SettingsDialog(SettingsValues values, SettingsHooks hooks, QWidget *parent)
    : QDialog(parent), m_initial(std::move(values)), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("SettingsDialog"));
    setWindowTitle(QStringLiteral("Klingelwacht – Einstellungen"));
    auto *grid = new QGridLayout(this);
    grid->addWidget(createLineGroup(), 0, 0);
    grid->addWidget(createPhonebookGroup(), 1, 0, 2, 1);
    grid->addWidget(createLedGroup(), 0, 1);
    grid->addWidget(createSwitches(), 1, 1);
    m_message = named(new QLabel(this), "message", QStringLiteral("Meldung"));
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("color: #b00000"));
    m_message->hide();
    grid->addWidget(m_message, 3, 0, 1, 2);
    auto *buttons = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel),
                          "buttons", QStringLiteral("OK oder Abbrechen"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Abbrechen"));
    grid->addWidget(buttons, 4, 0, 1, 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
    showValues(m_initial);
}

QWidget *SettingsDialog::createLineGroup()
{
    auto *box = new QGroupBox(QStringLiteral("Leitung"), this);
    auto *form = new QFormLayout(box);
    m_capi = named(new QRadioButton(QStringLiteral("&CAPI (ISDN-Karte oder CAPI über TCP)")),
                   "lineCapi", QStringLiteral("Leitung über CAPI"));
    m_monitor = named(new QRadioButton(QStringLiteral("&Anrufmonitor des Routers")), "lineMonitor",
                      QStringLiteral("Leitung über den Anrufmonitor des Routers"));
    m_host = edit("monitorHost", QStringLiteral("Router (Name oder Adresse)"), box);
    m_host->setPlaceholderText(QStringLiteral("fritz.box"));
    m_port = edit("monitorPort", QStringLiteral("Port des Anrufmonitors"), box);
    m_port->setPlaceholderText(QStringLiteral("1012"));
    m_port->setValidator(new QIntValidator(1, 65535, m_port));
    m_check = named(new QPushButton(QStringLiteral("&Verbindung prüfen")), "checkLine",
                    QStringLiteral("Verbindung prüfen"));
    m_check->setEnabled(bool(m_hooks.checkLine));
    m_checkResult = named(new QLabel(box), "checkResult", QStringLiteral("Ergebnis der Prüfung"));
    m_checkResult->setWordWrap(true);
    form->addRow(m_capi);
    form->addRow(m_monitor);
    form->addRow(QStringLiteral("&Router:"), m_host);
    form->addRow(QStringLiteral("P&ort:"), m_port);
    form->addRow(m_check);
    form->addRow(m_checkResult);
    const auto enable = [this] {
        m_host->setEnabled(m_monitor->isChecked());
        m_port->setEnabled(m_monitor->isChecked());
    };
    connect(m_monitor, &QRadioButton::toggled, this, enable);
    connect(m_check, &QPushButton::clicked, this, &SettingsDialog::checkLine);
    return box;
}

QWidget *SettingsDialog::createPhonebookGroup()
{
    auto *box = new QGroupBox(QStringLiteral("Telefonbuch"), this);
    auto *form = new QFormLayout(box);
    m_vCards = named(new QListWidget(box), "vCards", QStringLiteral("vCard-Dateien und -Ordner"));
    m_vCards->setMaximumHeight(90);
    auto *row = new QHBoxLayout;
    auto *addFile = named(new QPushButton(QStringLiteral("&Datei…")), "addVCardFile",
                          QStringLiteral("vCard-Datei hinzufügen"));
    auto *addFolder = named(new QPushButton(QStringLiteral("Ord&ner…")), "addVCardFolder",
                            QStringLiteral("vCard-Ordner hinzufügen"));
    auto *remove = named(new QPushButton(QStringLiteral("&Entfernen")), "removeVCard",
                         QStringLiteral("Ausgewählte vCard-Quelle entfernen"));
    row->addWidget(addFile);
    row->addWidget(addFolder);
    row->addWidget(remove);
    m_router = named(new QCheckBox(QStringLiteral("&Telefonbücher des Routers (TR-064)")), "router",
                     QStringLiteral("Telefonbücher des Routers verwenden"));
    m_user = edit("routerUser", QStringLiteral("Benutzer am Router"), box);
    m_password = edit("routerPassword", QStringLiteral("Kennwort am Router"), box);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(QStringLiteral("unverändert"));
    // Without a place to keep it outside the file, a password cannot be taken.
    m_password->setEnabled(bool(m_hooks.storePassword));
    m_tr064Port = edit("tr064Port", QStringLiteral("TR-064-Port des Routers"), box);
    m_tr064Port->setPlaceholderText(QStringLiteral("49000"));
    m_tr064Port->setValidator(new QIntValidator(1, 65535, m_tr064Port));
    m_areaCode = edit("areaCode", QStringLiteral("Eigene Ortsvorwahl"), box);
    m_countryCode = edit("countryCode", QStringLiteral("Eigene Landesvorwahl"), box);
    m_fetch = named(new QPushButton(QStringLiteral("&Jetzt abrufen")), "fetchNow",
                    QStringLiteral("Telefonbücher des Routers jetzt abrufen"));
    m_fetch->setEnabled(bool(m_hooks.fetchRouterNow));
    m_fetchResult = named(new QLabel(box), "fetchResult", QStringLiteral("Ergebnis des Abrufs"));
    form->addRow(QStringLiteral("vCard-&Quellen:"), m_vCards);
    form->addRow(row);
    form->addRow(m_router);
    form->addRow(QStringLiteral("&Benutzer:"), m_user);
    form->addRow(QStringLiteral("&Kennwort:"), m_password);
    form->addRow(QStringLiteral("TR-064-&Port:"), m_tr064Port);
    form->addRow(QStringLiteral("Ortsvor&wahl:"), m_areaCode);
    form->addRow(QStringLiteral("&Landesvorwahl:"), m_countryCode);
    form->addRow(m_fetch, m_fetchResult);
    connect(addFile, &QPushButton::clicked, this, [this] { addVCard(false); });
    connect(addFolder, &QPushButton::clicked, this, [this] { addVCard(true); });
    connect(remove, &QPushButton::clicked, this, [this] { delete m_vCards->currentItem(); });
    connect(m_fetch, &QPushButton::clicked, this, &SettingsDialog::fetchNow);
    return box;
}

QWidget *SettingsDialog::createLedGroup()
{
    auto *box = new QGroupBox(QStringLiteral("Tastatur-LEDs"), this);
    auto *form = new QFormLayout(box);
    auto *about = new QLabel(
        QStringLiteral("Ein Anruf auf eine Nummer, die den Text enthält, schaltet die Taste um."),
        box);
    about->setWordWrap(true);
    form->addRow(about);
    for (int i = 0; i < 3; ++i) {
        const QString key = QString::fromLatin1(kLockKeys[i]);
        const QByteArray name = "msn" + QByteArray::number(i + 1);
        m_msn[i] = edit(name.constData(), QStringLiteral("MSN%1 für %2").arg(i + 1).arg(key), box);
        form->addRow(QStringLiteral("MSN&%1 – %2:").arg(i + 1).arg(key), m_msn[i]);
    }
    return box;
}

QWidget *SettingsDialog::createSwitches()
{
    auto *box = new QWidget(this);
    auto *layout = new QVBoxLayout(box);
    auto *notify = new QGroupBox(QStringLiteral("Benachrichtigungen"), box);
    m_notifications =
        named(new QCheckBox(QStringLiteral("Bei jedem Anruf eine Benachrichtigung &zeigen")),
              "notifications", QStringLiteral("Benachrichtigungen"));
    (new QVBoxLayout(notify))->addWidget(m_notifications);
    auto *session = new QGroupBox(QStringLiteral("Mit der Sitzung starten"), box);
    m_autostart = named(new QCheckBox(QStringLiteral("Beim Anmelden &starten")), "autostart",
                        QStringLiteral("Mit der Sitzung starten"));
    (new QVBoxLayout(session))->addWidget(m_autostart);
    layout->addWidget(notify);
    layout->addWidget(session);
    layout->addStretch();
    return box;
}

void SettingsDialog::showValues(const SettingsValues &v)
{
    m_monitor->setChecked(v.callMonitor);
    m_capi->setChecked(!v.callMonitor);
    m_host->setText(q(v.host));
    m_port->setText(q(v.port));
    m_host->setEnabled(v.callMonitor);
    m_port->setEnabled(v.callMonitor);
    m_vCards->clear();
    for (const std::string &path : v.vCards)
        if (!path.empty())
            m_vCards->addItem(q(path));
    m_router->setChecked(v.router);
    m_user->setText(q(v.user));
    m_tr064Port->setText(q(v.tr064Port));
    m_areaCode->setText(q(v.areaCode));
    m_countryCode->setText(q(v.countryCode));
    for (int i = 0; i < 3; ++i)
        m_msn[i]->setText(q(v.msn[i]));
    m_notifications->setChecked(v.notifications);
    m_autostart->setChecked(v.autostart);
}

SettingsValues SettingsDialog::values() const
{
    SettingsValues v = m_initial;
    v.callMonitor = m_monitor->isChecked();
    v.host = s(m_host->text());
    v.port = s(m_port->text());
    // The sources keep their numbers as long as the list is not changed: an entry that stays
    // where it was compares equal, so nothing is written for it.
    std::array<std::string, SettingsValues::kVCards> shown;
    for (int i = 0; i < m_vCards->count() && i < int(shown.size()); ++i)
        shown[std::size_t(i)] = s(m_vCards->item(i)->text());
    std::array<std::string, SettingsValues::kVCards> packed;
    std::size_t n = 0;
    for (const std::string &path : m_initial.vCards)
        if (!path.empty())
            packed[n++] = path;
    if (shown != packed)
        v.vCards = shown;
    v.router = m_router->isChecked();
    v.user = s(m_user->text());
    v.tr064Port = s(m_tr064Port->text());
    v.areaCode = s(m_areaCode->text());
    v.countryCode = s(m_countryCode->text());
    for (int i = 0; i < 3; ++i)
        v.msn[std::size_t(i)] = s(m_msn[i]->text());
    v.notifications = m_notifications->isChecked();
    v.autostart = m_autostart->isChecked();
    return v;
}

void SettingsDialog::accept()
{
    const SettingsValues now = values();
    if (now.callMonitor && now.host.empty()) {
        setMessage("Bitte den Router mit Namen oder Adresse angeben.");
        m_host->setFocus();
        return;
    }
    for (QLineEdit *port : {m_port, m_tr064Port}) {
        if (port->isEnabled() && !port->text().isEmpty() && !port->hasAcceptableInput()) {
            setMessage("Ein Port ist eine Zahl von 1 bis 65535.");
            port->setFocus();
            return;
        }
    }
    if (m_hooks.apply) {
        if (const std::string error = m_hooks.apply(m_initial, now); !error.empty()) {
            setMessage(error);
            return;
        }
    }
    // What is written stays written, even when the password is refused below.
    m_initial = now;
    if (!m_password->text().isEmpty() && m_hooks.storePassword) {
        if (const std::string error =
                m_hooks.storePassword(now.user, m_password->text().toStdString());
            !error.empty()) {
            setMessage(error);
            return;
        }
    }
    QDialog::accept();
}

void SettingsDialog::checkLine()
{
    m_check->setEnabled(false);
    m_checkResult->setText(QStringLiteral("wird geprüft …"));
    // The answer may come after the dialog has gone.
    QPointer<SettingsDialog> self(this);
    m_hooks.checkLine(values(), [self](const std::string &text) {
        if (!self)
            return;
        self->m_checkResult->setText(q(text));
        self->m_check->setEnabled(true);
    });
}

void SettingsDialog::fetchNow()
{
    m_fetch->setEnabled(false);
    m_fetchResult->setText(QStringLiteral("wird abgerufen …"));
    QPointer<SettingsDialog> self(this);
    m_hooks.fetchRouterNow([self](const std::string &text) {
        if (!self)
            return;
        self->m_fetchResult->setText(q(text));
        self->m_fetch->setEnabled(true);
    });
}

void SettingsDialog::addVCard(bool folder)
{
    if (m_vCards->count() >= int(SettingsValues::kVCards)) {
        setMessage("Es passen höchstens neun vCard-Quellen in die Einstellungen.");
        return;
    }
    std::string path;
    if (m_hooks.chooseVCard) {
        path = m_hooks.chooseVCard(folder);
    } else {
        path =
            (folder ? QFileDialog::getExistingDirectory(this, QStringLiteral("vCard-Ordner"))
                    : QFileDialog::getOpenFileName(this, QStringLiteral("vCard-Datei"), QString(),
                                                   QStringLiteral("vCards (*.vcf *.vcard)")))
                .toStdString();
    }
    if (!path.empty())
        m_vCards->addItem(q(path));
}

void SettingsDialog::setMessage(const std::string &text)
{
    m_message->setText(q(text));
    m_message->setVisible(!text.empty());
}
