#include "ui/MainWindowViews.h"

#include "ui/CallGridModel.h"
#include "ui/CallListControls.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QWidget>
#include <cfenv>
#include <cmath>

namespace {

const std::array<const char *, 6> kHeaders = {"Anrufer", "Name", "MSN",
                                              "Datum",   "Zeit", "Rufbehandlung"};

} // namespace

int gridColumnWidthTwips(float gridWidthTwips, double fraction)
{
    // nearbyint follows the rounding mode, which is to-nearest-even unless changed.
    std::fesetround(FE_TONEAREST);
    return static_cast<int>(std::nearbyint(static_cast<double>(gridWidthTwips) * fraction));
}

MainWindowViews::MainWindowViews(QWidget &window)
    : m_window(window), m_model(new CallGridModel(&window)), m_grid(new QTableView(&window)),
      m_label(new QLabel(QStringLiteral("Anrufe seit dem letzten Start:"), &window))
{
    m_window.setFixedSize(toPixels(kClientWidthTwips), toPixels(kClientHeightTwips));

    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setGeometry(toPixels(120), toPixels(120), toPixels(3135), toPixels(255));

    m_grid->setObjectName(QStringLiteral("grdAnrufe"));
    m_grid->setGeometry(toPixels(120), toPixels(945), toPixels(8805), toPixels(2175));
    // The grid shows the rows that the search keeps.
    m_controls = new CallListControls(m_window, *m_grid, *m_model);
    m_controls->lblTreffer().setGeometry(toPixels(5325), toPixels(120), toPixels(3600),
                                         toPixels(255));
    m_controls->txtSuche().setGeometry(toPixels(120), toPixels(480), toPixels(4500), toPixels(345));
    m_controls->chkVerpasste().setGeometry(toPixels(4740), toPixels(480), toPixels(1800),
                                           toPixels(345));
    m_controls->cmdExport().setGeometry(toPixels(6720), toPixels(480), toPixels(2205),
                                        toPixels(345));
    m_grid->verticalHeader()->hide();
    // Fixed row heights keep layout cost independent of the number of rows.
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 4);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_grid->horizontalHeader()->setStretchLastSection(false);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(false);

    // The grid comes first among the members that take the focus, the search bar after it.
    QWidget::setTabOrder(m_grid, &m_controls->txtSuche());
    QWidget::setTabOrder(&m_controls->txtSuche(), &m_controls->chkVerpasste());
    QWidget::setTabOrder(&m_controls->chkVerpasste(), &m_controls->cmdExport());
    m_grid->setFocus();
}

MainWindowViews::~MainWindowViews() = default;

double MainWindowViews::twipsPerPixel() const
{
    const QScreen *screen = m_window.screen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

int MainWindowViews::toPixels(int twips) const
{
    return static_cast<int>(std::lround(twips / twipsPerPixel()));
}

void MainWindowViews::SetupCallGrid()
{
    for (int col = 0; col < CallGridModel::kColumns; ++col) {
        // The width is read afresh for every column.
        const float width = static_cast<float>(m_grid->width() * twipsPerPixel());
        const int twips = gridColumnWidthTwips(width, kColumnFractions[col]);
        m_columnWidthTwips[col] = twips;
        m_grid->setColumnWidth(col, toPixels(twips));
        if (col == 0)
            m_model->setColumnAlignment(col, Qt::AlignLeft | Qt::AlignVCenter);
        else if (col == CallGridModel::columnOfField(1))
            m_model->setColumnAlignment(col, Qt::AlignHCenter | Qt::AlignTop);
        m_model->setHeaderText(col, QString::fromLatin1(kHeaders[col]));
    }
}

void MainWindowViews::GridInsertTop(std::string_view row)
{
    m_model->insertTop(row);
}

void MainWindowViews::GridSetHandling(int row, std::string_view text)
{
    m_model->setHandling(row - 1, text);
}

int MainWindowViews::GridRowCount() const
{
    return m_model->history().rowCount() + 1;
}

void MainWindowViews::GridRemoveLast()
{
    m_model->removeLast();
}

void MainWindowViews::ListAppendLine(std::string_view row)
{
    m_model->appendItem(row);
}

void MainWindowViews::ListReplaceItem(int index, std::string_view row)
{
    m_model->replaceItem(index, row);
}

int MainWindowViews::ListCount() const
{
    return m_model->history().itemCount();
}

void MainWindowViews::ShowCallCount(int count)
{
    m_label->setText(QStringLiteral("Anrufe seit dem letzten Start: ") + QString::number(count));
}

void MainWindowViews::RestoreWindow()
{
    // Wayland lets no program raise or un-minimise its window (sway only marks it urgent),
    // so a window out of sight (another workspace, sway's scratchpad, minimised) comes back
    // by being mapped anew: the compositor puts a new window in front and focuses it.
    if (m_window.isVisible() && !m_window.isActiveWindow() &&
        QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        m_window.hide();
    m_window.setWindowState(m_window.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

void MainWindowViews::beginBulkInsert()
{
    m_model->beginBulkInsert();
}

void MainWindowViews::endBulkInsert()
{
    m_model->endBulkInsert();
}
