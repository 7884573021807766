#include "jobs/job_adder.h"

#include "jobs/job_records.h"
#include "platform/paths.h"

namespace vexa::app {

bool TJobAdder::EnsureLibraries(std::string& message)
{
    if (engine_.AVLibLoaded() || engine_.LoadAVLib(platform::LibraryFolder()))
        return true;
    message = engine_.LastErrMsg();
    return false;
}

TAddOutcome TJobAdder::AddFile(const std::string& file)
{
    TAddOutcome out;
    if (jobs_.IsFull()) {
        out.Kind = TAddOutcome::akFull;
        out.Message = "the job list is full (" + std::to_string(kSlotCount) + " jobs)";
        return out;
    }

    // 1. The probe tells duration and size, and refuses what is no media.
    TAVProbe& probe = engine_.AVProbe();
    if (!probe.LoadFile(file)) {
        out.Message = probe.LastErrMsg();
        out.Log.push_back("***File load error: " + out.Message);
        return out;
    }
    const int64_t duration = probe.GetFileStreamInfo().Duration;
    const int64_t size = probe.FileSize();
    probe.CloseFile();

    // 2-3. The check task opens the input.
    pickers_.Defaults().Video_AddFileName = file;
    TInputOptions input;
    InitInputOptions(input);
    const int task = engine_.AddTask(file, &input);
    if (task < 0) {
        out.Kind = TAddOutcome::akStopped;
        out.Message = engine_.LastErrMsg();
        out.Log.push_back("***File open error: " + out.Message);
        return out;
    }

    // 4. The input's description goes to the log.
    out.Log.emplace_back();
    if (TAVProbe* taskProbe = engine_.TaskInputProbe(task, 0))
        out.Log.push_back(taskProbe->FileInfoText());

    // 5-6. The chosen format and the pickers' choices make the output record.
    TOutputOptions output;
    InitOutputOptions(output);
    try {
        pickers_.Defaults().Video_AddFileName = file;
        pickers_.ApplyPreset(false);
        pickers_.TakeOptionPickers();
        FillOutputFromDefaults(pickers_.Defaults(), output);
        OverrideOutputOptions(output, ExtraOutputOptions);
    } catch (const std::exception& e) {
        engine_.RemoveTask(task);
        out.Kind = TAddOutcome::akStopped;
        out.Message = e.what();
        out.Log.push_back("***Cannot do convert, error: " + out.Message);
        return out;
    }

    // 7. Setting up the output creates the output file.
    if (!engine_.SetOutputFile(task, pickers_.Defaults().Video_OutPutFileName, &output)) {
        out.Kind = TAddOutcome::akStopped;
        out.Message = engine_.LastErrMsg();
        engine_.RemoveTask(task);
        out.Log.push_back("***Cannot do convert, error: " + out.Message);
        return out;
    }
    if (output.FileName.empty())
        output.FileName = pickers_.Defaults().Video_OutPutFileName;

    // 8-10. Row and slot.
    TNewJob job;
    job.InputFile = file;
    job.DurationUs = duration;
    job.FileSize = size;
    job.TaskIndex = task;
    job.PresetKey = pickers_.CurrentKey();
    job.OptionIndexString = pickers_.OptionIndexString();
    job.Output = output;
    job.Defaults = pickers_.Defaults();
    input.FileName = file;
    const bool appended = AppendRow ? AppendRow(MakeJobRow(job), input, output)
                                    : jobs_.Append(MakeJobRow(job), input, output);
    if (!appended) {
        engine_.RemoveTask(task);
        out.Kind = TAddOutcome::akFull;
        out.Message = "the job list is full (" + std::to_string(kSlotCount) + " jobs)";
        return out;
    }
    out.Kind = TAddOutcome::akAdded;
    out.Row = jobs_.Count() - 1;
    out.Log.push_back("***Can do convert.");
    return out;
}

}  // namespace vexa::app
