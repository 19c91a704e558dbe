#pragma once

#include "ui/SettingsValues.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

/// "Einstellungen": the line, the phonebook sources, the lock-key MSNs, notifications and
/// autostart. OK hands the edited values to SettingsHooks::apply and closes only when that
/// succeeded; Cancel hands over nothing. The dialog itself never touches a file.
class SettingsDialog final : public QDialog
{
    Q_OBJECT
public:
    SettingsDialog(SettingsValues values, SettingsHooks hooks, QWidget *parent = nullptr);

    /// The values as the controls show them now.
    SettingsValues values() const;

public slots:
    void accept() override;

private:
    QWidget *createLineGroup();
    QWidget *createPhonebookGroup();
    QWidget *createLedGroup();
    QWidget *createSwitches();
    void showValues(const SettingsValues &v);
    void checkLine();
    void fetchNow();
    void addVCard(bool folder);
    void setMessage(const std::string &text);

    SettingsValues m_initial;
    SettingsHooks m_hooks;
    QRadioButton *m_capi = nullptr;
    QRadioButton *m_monitor = nullptr;
    QLineEdit *m_host = nullptr;
    QLineEdit *m_port = nullptr;
    QPushButton *m_check = nullptr;
    QLabel *m_checkResult = nullptr;
    QListWidget *m_vCards = nullptr;
    QCheckBox *m_router = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
    QLineEdit *m_tr064Port = nullptr;
    QLineEdit *m_areaCode = nullptr;
    QLineEdit *m_countryCode = nullptr;
    QPushButton *m_fetch = nullptr;
    QLabel *m_fetchResult = nullptr;
    QLineEdit *m_msn[3] = {};
    QCheckBox *m_notifications = nullptr;
    QCheckBox *m_autostart = nullptr;
    QLabel *m_message = nullptr;
};
