#pragma once

#include "ui/CallViews.h"

#include <array>

class CallGridModel;
class CallListControls;
class QLabel;
class QTableView;
class QWidget;

/// The call list window's visible members (Label1, the search bar, grdAnrufe) and its
/// hidden list lstAnrufe, laid out in twips on the given window, and the view operations
/// on them. The grid shows the caller's name after the caller; the hidden list keeps the
/// calls' rows as they are.
class MainWindowViews final : public CallViews
{
public:
    /// Client area of the window in twips.
    static constexpr int kClientWidthTwips = 9045;
    static constexpr int kClientHeightTwips = 3255;
    /// Caller, name, MSN, date, time, handling; together 0.97 of the grid's width.
    static constexpr std::array<double, 6> kColumnFractions = {0.16, 0.2, 0.08, 0.15, 0.12, 0.26};

    explicit MainWindowViews(QWidget &window);
    ~MainWindowViews() override;

    void SetupCallGrid() override;
    void GridInsertTop(std::string_view row) override;
    void GridSetHandling(int row, std::string_view text) override;
    int GridRowCount() const override;
    void GridRemoveLast() override;
    void ListAppendLine(std::string_view row) override;
    void ListReplaceItem(int index, std::string_view row) override;
    int ListCount() const override;
    void ShowCallCount(int count) override;
    void RestoreWindow() override;
    void beginBulkInsert() override;
    void endBulkInsert() override;

    /// Twips per pixel at the screen's logical dpi (15 at 96 dpi).
    double twipsPerPixel() const;
    /// Column width in twips as SetupCallGrid computed it.
    int columnWidthTwips(int column) const { return m_columnWidthTwips.at(column); }

    CallGridModel &model() { return *m_model; }
    CallListControls &controls() { return *m_controls; }
    QTableView &grdAnrufe() { return *m_grid; }
    QLabel &Label1() { return *m_label; }

private:
    int toPixels(int twips) const;

    QWidget &m_window;
    CallGridModel *m_model;
    QTableView *m_grid;
    QLabel *m_label;
    CallListControls *m_controls;
    std::array<int, 6> m_columnWidthTwips{};
};

/// Width of a grid column: the grid's width (single precision) times the column's
/// fraction, rounded to the nearest integer with halves to even.
int gridColumnWidthTwips(float gridWidthTwips, double fraction);
