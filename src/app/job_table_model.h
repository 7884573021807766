#pragma once
// The job list as a Qt table model: every change to the rows goes through
// here so the view follows; the rows and slots themselves live in TJobList.
#include "jobs/job_list.h"

#include <QAbstractTableModel>

namespace vexa::app {

class TJobTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TJobTableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const TJobList& Jobs() const { return jobs_; }
    // Slot records may be changed in place; rows only through the calls below.
    TJobList& Slots() { return jobs_; }

    bool Append(TJobRow row, const TInputOptions& input, const TOutputOptions& output);
    void Remove(int row);
    void Clear();
    void Exchange(int a, int b);
    std::string Cell(int row, int column) const { return jobs_.Cell(row, column); }
    void SetCell(int row, int column, const std::string& text);
    void FreeAllSlots() { jobs_.FreeAllSlots(); }

    // Caption and width of a column; hidden columns have width 0.
    static QString ColumnCaption(int column);
    static int ColumnWidth(int column);

private:
    TJobList jobs_;
};

}  // namespace vexa::app
