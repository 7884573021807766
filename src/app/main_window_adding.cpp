// The main window's adding and editing of jobs: the three add commands,
// dropped files, renaming with the inline editor and the list click.
#include "app/main_window.h"

#include "jobs/job_adder.h"
#include "app/preview_panel.h"
#include "engine/ff_engine.h"
#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>

namespace vexa::app {

using namespace catalogue;

bool TMainWindow::librariesReady()
{
    TCustomFFEngine* component = engine_ ? engine_->Component() : nullptr;
    if (!component) {
        appendLog(QStringLiteral("***No conversion engine."));
        return false;
    }
    std::string failure;
    TJobAdder adder(*component, pickers_, jobModel_->Slots());
    if (adder.EnsureLibraries(failure))
        return true;
    appendLog(QString::fromStdString(failure));
    return false;
}

TMainWindow::TAddStep TMainWindow::addFile(const QString& file)
{
    TJobAdder adder(*engine_->Component(), pickers_, jobModel_->Slots());
    adder.AppendRow = [this](TJobRow row, const TInputOptions& input, const TOutputOptions& output) {
        return appendJob(std::move(row), input, output);
    };
    const TAddOutcome out = adder.AddFile(file.toStdString());
    for (const std::string& line : out.Log) {
        const QString text = QString::fromStdString(line);
        // Status lines stand between empty lines; the input's description
        // follows the one empty line before it.
        if (line.starts_with("***")) {
            appendLog(QString());
            appendLog(text);
            appendLog(QString());
        } else {
            appendLog(text);
        }
    }
    switch (out.Kind) {
    case TAddOutcome::akAdded:
        playerFileName_ = file;
        syncPickers();
        return asAdded;
    case TAddOutcome::akSkipped:
        return asSkipped;
    case TAddOutcome::akFull:
        message(QMessageBox::Information, QStringLiteral("提示"), QString::fromStdString(out.Message));
        return asStopped;
    case TAddOutcome::akStopped:
        break;
    }
    return asStopped;
}

void TMainWindow::selectLastAndFocus()
{
    if (jobModel_->rowCount() == 0)
        return;
    selectRow(jobModel_->rowCount() - 1);
    FocusJobList();
}

// Taken from the last to the first: a vanished file or a job the engine
// refuses ends the adding, a file that is no media is skipped.
void TMainWindow::addListed(const QStringList& files)
{
    for (qsizetype i = files.size() - 1; i >= 0; --i) {
        if (!platform::FileExists(files[i].toStdString()))
            return;
        if (addFile(files[i]) == asStopped)
            return;
    }
}

void TMainWindow::addOneFile()
{
    pickers_.ResetDefaults();
    if (!librariesReady())
        return;
    const QString file = dialogs_.OpenFile ? dialogs_.OpenFile() : QString();
    if (file.isEmpty() || !platform::FileExists(file.toStdString()))
        return;
    if (addFile(file) == asAdded)
        selectLastAndFocus();
}

void TMainWindow::addManyFiles()
{
    pickers_.ResetDefaults();
    if (!librariesReady())
        return;
    const QStringList files = dialogs_.OpenFiles ? dialogs_.OpenFiles() : QStringList();
    if (files.isEmpty() || !platform::FileExists(files.front().toStdString()))
        return;
    addListed(files);
    selectLastAndFocus();
}

namespace {

// The files of a folder itself (no sub-folders), in name order.
QStringList FolderFiles(const QString& folder)
{
    QStringList files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name))
        files << dir.filePath(name);
    return files;
}

}  // namespace

void TMainWindow::addFolder()
{
    pickers_.ResetDefaults();
    if (!librariesReady())
        return;
    const int before = jobModel_->rowCount();
    const QString folder = dialogs_.ChooseFolder ? dialogs_.ChooseFolder(lastAddFolder_) : QString();
    if (folder.isEmpty() || !platform::DirectoryExists(folder.toStdString()))
        return;
    lastAddFolder_ = folder;
    addListed(FolderFiles(folder));
    selectLastAndFocus();
    if (jobModel_->rowCount() <= before)
        message(QMessageBox::Information, QStringLiteral("提示"),
                QStringLiteral("在该目录没有发现可以用的视频或音频文件！"));
}

void TMainWindow::addPaths(const QStringList& paths)
{
    if (paths.isEmpty() || !groupEnabled(cgAdd))
        return;
    pickers_.ResetDefaults();
    if (!librariesReady())
        return;
    QStringList files;
    for (const QString& path : paths) {
        if (QFileInfo(path).isDir())
            files << FolderFiles(path);
        else
            files << path;
    }
    // The first is taken first, as the user lists them.
    QStringList reversed(files.rbegin(), files.rend());
    addListed(reversed);
    selectLastAndFocus();
}

void TMainWindow::openFiles(const QStringList& paths)
{
    QStringList absolute;
    for (const QString& path : paths)
        absolute << QFileInfo(path).absoluteFilePath();
    runGuarded([this, &absolute] { addPaths(absolute); });
}

// ---- Renaming.

void TMainWindow::startRename()
{
    const int row = selectedRow();
    if (row < 0) {
        message(QMessageBox::Information, QStringLiteral("提示"), QStringLiteral("请先选中您需要重命名的项目！"));
        return;
    }
    const QRect cell = jobView_->visualRect(jobModel_->index(row, jcOutputFile));
    nameEditor_->setGeometry(cell.left() + 2, cell.top(), jobView_->columnWidth(jcOutputFile), cell.height());
    const QString name = QString::fromStdString(jobModel_->Cell(row, jcOutputFile));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    nameEditor_->setText(dot > 0 ? name.left(dot) : name);
    nameEditor_->setProperty("row", row);
    nameEditor_->show();
    nameEditor_->setFocus();
    nameEditor_->selectAll();
}

void TMainWindow::finishRename()
{
    if (!nameEditor_->isVisible())
        return;
    const QString text = nameEditor_->text();
    // An empty name changes nothing; the editor stays for another try.
    if (text.isEmpty())
        return;
    const int row = nameEditor_->property("row").toInt();
    nameEditor_->hide();
    if (row < 0 || row >= jobModel_->rowCount())
        return;
    const std::string name = text.toStdString() + pickers_.OutputExtension();
    jobModel_->SetCell(row, jcOutputFile, name);
    jobModel_->Slots().OutputSlot(row).FileName = OutputFolder() + "/" + name;
    FocusJobList();
}

void TMainWindow::listClicked()
{
    if (selectedRow() < 0 && previewStop_)
        previewStop_();
}

}  // namespace vexa::app
