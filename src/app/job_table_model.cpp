#include "app/job_table_model.h"

#include <array>

namespace vexa::app {

using catalogue::kJobColumnCount;

namespace {

struct TColumnInfo {
    const char* caption;
    int width;  // 0: carried but not shown
};

const std::array<TColumnInfo, kJobColumnCount> kColumns = {{
    {"输入文件", 80},   {"视频时间", 70},   {"文件大小", 70},   {"输出文件", 80},   {"转换进度", 70},
    {"", 0},            {"当前时间", 80},   {"转换大小", 80},   {"视频序号", 0},    {"视频类别", 0},
    {"视频选项", 0},    {"视频编码", 0},    {"音频编码", 0},    {"声音频道", 0},    {"VideoTag", 0},
    {"FileExt", 0},     {"视频分辨率", 0},  {"视频比特率", 0},  {"视频帧率", 0},    {"音频比特率", 0},
    {"音频采样率", 0},  {"视频缩放", 0},    {"视频能否", 0},    {"TargetType", 0},  {"NormType", 0},
}};

}  // namespace

TJobTableModel::TJobTableModel(QObject* parent) : QAbstractTableModel(parent) {}

QString TJobTableModel::ColumnCaption(int column)
{
    if (column < 0 || column >= kJobColumnCount)
        return {};
    return QString::fromUtf8(kColumns[static_cast<size_t>(column)].caption);
}

int TJobTableModel::ColumnWidth(int column)
{
    if (column < 0 || column >= kJobColumnCount)
        return 0;
    return kColumns[static_cast<size_t>(column)].width;
}

int TJobTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : jobs_.Count();
}

int TJobTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kJobColumnCount;
}

QVariant TJobTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= jobs_.Count() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return QString::fromStdString(jobs_.Cell(index.row(), index.column()));
}

QVariant TJobTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return ColumnCaption(section);
}

Qt::ItemFlags TJobTableModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

bool TJobTableModel::Append(TJobRow row, const TInputOptions& input, const TOutputOptions& output)
{
    if (jobs_.IsFull())
        return false;
    beginInsertRows({}, jobs_.Count(), jobs_.Count());
    const bool added = jobs_.Append(std::move(row), input, output);
    endInsertRows();
    return added;
}

void TJobTableModel::Remove(int row)
{
    jobs_.Row(row);  // raises outside the list before the view is told anything
    beginRemoveRows({}, row, row);
    jobs_.Remove(row);
    endRemoveRows();
    // Check-task numbers of later rows changed.
    if (jobs_.Count() > 0)
        emit dataChanged(index(0, catalogue::jcTaskNumber), index(jobs_.Count() - 1, catalogue::jcTaskNumber));
}

void TJobTableModel::Clear()
{
    beginResetModel();
    jobs_.Clear();
    endResetModel();
}

void TJobTableModel::Exchange(int a, int b)
{
    jobs_.Exchange(a, b);
    emit dataChanged(index(a, 0), index(a, kJobColumnCount - 1));
    emit dataChanged(index(b, 0), index(b, kJobColumnCount - 1));
}

void TJobTableModel::SetCell(int row, int column, const std::string& text)
{
    jobs_.SetCell(row, column, text);
    emit dataChanged(index(row, column), index(row, column));
}

}  // namespace vexa::app
