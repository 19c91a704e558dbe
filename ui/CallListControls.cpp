#include "ui/CallListControls.h"

#include "calllog/CallCsv.h"
#include "calllog/CallLine.h"
#include "ui/CallFilterModel.h"
#include "ui/CallGridModel.h"
#include "ui/CallNumber.h"
#include "ui/TelHandler.h"

#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QThreadPool>
#include <QTimer>
#include <memory>

namespace {

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CallListControls::CallListControls(QWidget &window, QTableView &grid, CallGridModel &model)
    : QObject(&window), m_window(window), m_grid(grid), m_model(model),
      m_filter(new CallFilterModel(model, this)), m_search(new QLineEdit(&window)),
      m_missedOnly(new QCheckBox(QStringLiteral("Nur verpasste"), &window)),
      m_counter(new QLabel(&window)),
      m_export(new QPushButton(QStringLiteral("Exportieren…"), &window)), m_typing(new QTimer(this))
{
    m_search->setObjectName(QStringLiteral("txtSuche"));
    m_search->setPlaceholderText(QStringLiteral("Suchen: Nummer, Name, MSN, Datum"));
    m_search->setClearButtonEnabled(true);
    m_missedOnly->setObjectName(QStringLiteral("chkVerpasste"));
    m_counter->setObjectName(QStringLiteral("lblTreffer"));
    m_counter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_export->setObjectName(QStringLiteral("cmdExport"));
    m_grid.setModel(m_filter);

    // Keystrokes that come faster than a pass over the rows are taken together.
    m_typing->setSingleShot(true);
    m_typing->setInterval(0);
    connect(m_typing, &QTimer::timeout, this, &CallListControls::applyFilter);
    connect(m_search, &QLineEdit::textChanged, m_typing, qOverload<>(&QTimer::start));
    connect(m_missedOnly, &QCheckBox::toggled, this, &CallListControls::applyFilter);
    connect(m_filter, &CallFilterModel::countsChanged, this, &CallListControls::updateCounter);
    connect(m_export, &QPushButton::clicked, this, &CallListControls::askExportFile);

    // The mouse's right button and the keyboard's menu key both arrive as this event.
    m_grid.installEventFilter(this);
    m_grid.viewport()->installEventFilter(this);
    m_openMenu = [](QMenu &menu, const QPoint &at) { menu.exec(at); };
    updateCounter();
}

CallListControls::~CallListControls() = default;

void CallListControls::applyFilter()
{
    m_typing->stop();
    m_filter->setFilter(m_search->text(), m_missedOnly->isChecked());
}

void CallListControls::updateCounter()
{
    const int all = m_filter->allCalls();
    m_counter->setText(QStringLiteral("%1 von %2 %3")
                           .arg(m_filter->shownCalls())
                           .arg(all)
                           .arg(all == 1 ? QStringLiteral("Anruf") : QStringLiteral("Anrufen")));
}

bool CallListControls::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ContextMenu ||
        (watched != &m_grid && watched != m_grid.viewport()))
        return QObject::eventFilter(watched, event);
    const auto *menuEvent = static_cast<QContextMenuEvent *>(event);
    QModelIndex index;
    QPoint at;
    if (menuEvent->reason() == QContextMenuEvent::Mouse) {
        index = m_grid.indexAt(
            m_grid.viewport()->mapFrom(static_cast<QWidget *>(watched), menuEvent->pos()));
        if (index.isValid())
            m_grid.setCurrentIndex(index);
        at = menuEvent->globalPos();
    } else {
        index = m_grid.currentIndex();
        at = m_grid.viewport()->mapToGlobal(m_grid.visualRect(index).bottomLeft());
    }
    if (index.isValid()) {
        std::unique_ptr<QMenu> menu(contextMenu(index.row()));
        if (menu)
            m_openMenu(*menu, at);
    }
    return true;
}

QMenu *CallListControls::contextMenu(int shownRow)
{
    if (shownRow < 0 || shownRow >= m_filter->rowCount())
        return nullptr;
    const std::string_view row = m_model.history().rowText(m_filter->sourceRow(shownRow));
    if (row.empty())
        return nullptr; // the fresh grid's empty row
    const QString caller = fromUtf8(CallLine::field(row, 0));
    const QString name = m_model.callerInfo(CallLine::field(row, 0)).name;
    const std::string uri = CallNumber::callBackUri(CallLine::field(row, 0));

    auto *menu = new QMenu(&m_grid);
    menu->setObjectName(QStringLiteral("mnuAnruf"));
    connect(menu->addAction(QStringLiteral("Nummer kopieren")), &QAction::triggered, menu,
            [caller] { QGuiApplication::clipboard()->setText(caller); });
    QAction *callBack = menu->addAction(QStringLiteral("Zurückrufen"));
    callBack->setEnabled(!uri.empty() && m_tel && m_tel->isAvailable());
    QPointer<QObject> guard(this);
    connect(callBack, &QAction::triggered, menu, [this, guard, uri] {
        if (guard && m_tel)
            m_tel->open(uri);
    });
    if (!name.isEmpty())
        connect(menu->addAction(QStringLiteral("Name kopieren")), &QAction::triggered, menu,
                [name] { QGuiApplication::clipboard()->setText(name); });
    // For the next menu: a handler may have been installed meanwhile.
    if (m_tel)
        m_tel->recheck();
    return menu;
}

std::string CallListControls::shownCsv() const
{
    std::string out(CallCsv::kHeader);
    CallCsv csv;
    const int rows = m_filter->rowCount();
    for (int shown = 0; shown < rows; ++shown) {
        const std::string_view row = m_model.history().rowText(m_filter->sourceRow(shown));
        if (row.empty())
            continue;
        csv.appendRow(out, row, m_model.callerInfo(CallLine::field(row, 0)).name.toStdString());
    }
    return out;
}

void CallListControls::askExportFile()
{
    const QString path =
        QFileDialog::getSaveFileName(&m_window, QStringLiteral("Anrufliste exportieren"),
                                     QDir::home().filePath(QStringLiteral("Anrufliste.csv")),
                                     QStringLiteral("CSV-Dateien (*.csv)"));
    if (!path.isEmpty())
        exportTo(path);
}

void CallListControls::exportTo(const QString &path)
{
    // The rows are taken now, on this thread; the disk may be slow, so the writing is not.
    auto csv = std::make_shared<std::string>(shownCsv());
    QPointer<QWidget> window(&m_window);
    QThreadPool::globalInstance()->start([csv, path, window] {
        QFile file(path);
        const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                             file.write(csv->data(), static_cast<qint64>(csv->size())) ==
                                 static_cast<qint64>(csv->size()) &&
                             file.flush();
        if (written)
            return;
        const QString why = file.errorString();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [window, path, why] {
            if (window)
                QMessageBox::warning(
                    window, QStringLiteral("Klingelwacht"),
                    QStringLiteral("Export nach %1 fehlgeschlagen: %2").arg(path, why));
        });
    });
}
