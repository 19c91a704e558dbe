#include "ui/FirstStartPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

FirstStartPanel::FirstStartPanel(Actions actions, QWidget *parent)
    : QFrame(parent), m_actions(std::move(actions))
{
    setObjectName(QStringLiteral("firstStart"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("Klingelwacht ist noch mit keiner Leitung verbunden"));
    title->setObjectName(QStringLiteral("firstStartTitle"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setWordWrap(true);
    layout->addWidget(title);
    auto *row = new QHBoxLayout;
    m_search = new QPushButton(QStringLiteral("&Router suchen"));
    m_search->setObjectName(QStringLiteral("searchRouter"));
    m_search->setAccessibleName(QStringLiteral("Router suchen"));
    auto *settings = new QPushButton(QStringLiteral("Einstellungen…"));
    settings->setObjectName(QStringLiteral("firstStartSettings"));
    settings->setAccessibleName(QStringLiteral("Einstellungen"));
    row->addWidget(m_search);
    row->addWidget(settings);
    row->addStretch();
    layout->addLayout(row);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("searchStatus"));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    m_choices = new QVBoxLayout;
    layout->addLayout(m_choices);
    layout->addStretch();
    connect(m_search, &QPushButton::clicked, this, [this] {
        if (m_actions.search)
            m_actions.search();
    });
    connect(settings, &QPushButton::clicked, this, [this] {
        if (m_actions.openSettings)
            m_actions.openSettings();
    });
}

void FirstStartPanel::showSearching()
{
    clearChoices();
    m_search->setEnabled(false);
    m_status->setText(QStringLiteral("Suche den Anrufmonitor des Routers …"));
}

void FirstStartPanel::showFound(const std::vector<std::string> &places)
{
    clearChoices();
    m_search->setEnabled(true);
    if (places.empty()) {
        m_status->setText(QStringLiteral(
            "Kein Router antwortet auf Port 1012. Den Anrufmonitor schaltet man an einem "
            "Telefon des Routers mit #96*5* ein; sonst die Leitung unter „Einstellungen…“ "
            "wählen."));
        return;
    }
    m_status->setText(QStringLiteral("Gefunden:"));
    for (std::size_t i = 0; i < places.size(); ++i) {
        const QString place = QString::fromStdString(places[i]);
        auto *button = new QPushButton(QStringLiteral("Anrufmonitor auf %1 verwenden").arg(place));
        button->setObjectName(QStringLiteral("useRouter%1").arg(i));
        button->setAccessibleName(QStringLiteral("Anrufmonitor auf %1 verwenden").arg(place));
        m_choices->addWidget(button);
        m_choiceButtons.push_back(button);
        connect(button, &QPushButton::clicked, this, [this, i] {
            if (m_actions.choose)
                m_actions.choose(i);
        });
    }
    m_choiceButtons.front()->setFocus();
}

void FirstStartPanel::showMessage(const std::string &text)
{
    m_search->setEnabled(true);
    m_status->setText(QString::fromStdString(text));
}

void FirstStartPanel::clearChoices()
{
    for (QPushButton *button : m_choiceButtons)
        button->deleteLater();
    m_choiceButtons.clear();
}
