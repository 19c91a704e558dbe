#pragma once

#include <QFrame>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QVBoxLayout;

/// Shown in the call list window while no line is configured at all: says so and offers
/// "Router suchen" and "Einstellungen…". What the buttons do is handed in.
class FirstStartPanel final : public QFrame
{
    Q_OBJECT
public:
    struct Actions
    {
        std::function<void()> search;
        std::function<void()> openSettings;
        /// One of the places offered by showFound, by its index.
        std::function<void(std::size_t index)> choose;
    };

    FirstStartPanel(Actions actions, QWidget *parent = nullptr);

    /// While the search runs: its button is disabled.
    void showSearching();
    /// One button per place that answered ("host:port"), or word that none did.
    void showFound(const std::vector<std::string> &places);
    void showMessage(const std::string &text);

private:
    void clearChoices();

    Actions m_actions;
    QPushButton *m_search;
    QLabel *m_status;
    QVBoxLayout *m_choices;
    std::vector<QPushButton *> m_choiceButtons;
};
