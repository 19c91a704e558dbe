#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <string>

class CallFilterModel;
class CallGridModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QTimer;
class QWidget;
class TelHandler;

/// What the call list offers beyond showing the calls: the search field ("txtSuche"), the
/// toggle "Nur verpasste" ("chkVerpasste"), the counter "N von M Anrufen" ("lblTreffer"),
/// the row's context menu and "Exportieren…" ("cmdExport").
class CallListControls final : public QObject
{
    Q_OBJECT
public:
    CallListControls(QWidget &window, QTableView &grid, CallGridModel &model);
    ~CallListControls() override;

    CallFilterModel &filterModel() { return *m_filter; }
    QLineEdit &txtSuche() { return *m_search; }
    QCheckBox &chkVerpasste() { return *m_missedOnly; }
    QLabel &lblTreffer() { return *m_counter; }
    QPushButton &cmdExport() { return *m_export; }

    /// Who calls back; without one "Zurückrufen" stays greyed.
    void setTelHandler(TelHandler *tel) { m_tel = tel; }
    /// The context menu of the shown row (built afresh; the caller owns it).
    QMenu *contextMenu(int shownRow);
    /// Replaces how the context menu is opened (tests look at it instead of blocking).
    void setMenuOpener(std::function<void(QMenu &, const QPoint &)> opener)
    {
        m_openMenu = std::move(opener);
    }
    /// The shown rows as CSV, top to bottom.
    std::string shownCsv() const;
    /// Writes shownCsv() to path on a thread of its own; a failure is told in a message box.
    void exportTo(const QString &path);
    /// Runs the search now instead of after the typing.
    void applyFilter();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateCounter();
    void askExportFile();

    QWidget &m_window;
    QTableView &m_grid;
    CallGridModel &m_model;
    CallFilterModel *m_filter;
    QLineEdit *m_search;
    QCheckBox *m_missedOnly;
    QLabel *m_counter;
    QPushButton *m_export;
    QTimer *m_typing;
    TelHandler *m_tel = nullptr;
    std::function<void(QMenu &, const QPoint &)> m_openMenu;
};
